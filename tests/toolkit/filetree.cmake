zorvane_add_ui_test(tst_filetree SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_filetree.cpp LABELS toolkit)
