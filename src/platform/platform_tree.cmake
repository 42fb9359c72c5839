# What the folder tree needs of the system: the desktop's places and folders
# read byte for byte. Qt Core only, so it joins zorvane_core.
target_sources(zorvane_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ShellPlaces.h ${CMAKE_CURRENT_LIST_DIR}/ShellPlaces.cpp
)
