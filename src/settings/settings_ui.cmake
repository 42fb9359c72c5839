# The Options dialog, the widget half of the settings.
target_sources(zorvane_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/OptionDlg.h ${CMAKE_CURRENT_LIST_DIR}/OptionDlg.cpp
)
