zorvane_add_ui_test(tst_platform SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_platform.cpp LABELS platform)
