# The main window: its frame, status bar texts and commands (VELTDlg.cpp), the
# building of its menus, tool bar, status bar and panes (VELTDlgBuild.cpp), the
# loading of files (VELTDlgLoad.cpp, LoaderChannel, Processing), the list
# commands and Convert (VELTDlgCommands.cpp), the About box and the application
# start.
target_sources(zorvane_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VELTDlg.h ${CMAKE_CURRENT_LIST_DIR}/VELTDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VELTDlgBuild.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VELTDlgLoad.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VELTDlgCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FilePropertiesDlg.h ${CMAKE_CURRENT_LIST_DIR}/FilePropertiesDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LoaderChannel.h ${CMAKE_CURRENT_LIST_DIR}/LoaderChannel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Processing.h ${CMAKE_CURRENT_LIST_DIR}/Processing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AboutDlg.h ${CMAKE_CURRENT_LIST_DIR}/AboutDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VELTApp.h ${CMAKE_CURRENT_LIST_DIR}/VELTApp.cpp
)
