zorvane_add_ui_test(tst_reportctrl SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_reportctrl.cpp LABELS filelist)
