zorvane_add_ui_test(tst_controls SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_controls.cpp LABELS toolkit)
zorvane_add_ui_test(tst_appearance SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_appearance.cpp LABELS toolkit)
