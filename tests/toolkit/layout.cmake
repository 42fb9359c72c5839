zorvane_add_ui_test(tst_layout SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layout.cpp LABELS toolkit)
