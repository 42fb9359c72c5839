# The platform services that reach the desktop through Qt GUI, D-Bus or local
# sockets: they join zorvane_ui.
set(ZORVANE_PLATFORM_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Shell.h ${CMAKE_CURRENT_LIST_DIR}/Shell.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileIcons.h ${CMAKE_CURRENT_LIST_DIR}/FileIcons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TaskbarProgress.h ${CMAKE_CURRENT_LIST_DIR}/TaskbarProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.h ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
)
target_sources(zorvane_ui PRIVATE ${ZORVANE_PLATFORM_UI_SOURCES})
