zorvane_add_ui_test(tst_convprog SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_convprog.cpp LABELS progress)
