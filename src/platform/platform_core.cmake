# The platform services that need Qt Core only: they join zorvane_core.
target_sources(zorvane_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ProfileStore.h ${CMAKE_CURRENT_LIST_DIR}/ProfileStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KnownFolders.h ${CMAKE_CURRENT_LIST_DIR}/KnownFolders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileActions.h ${CMAKE_CURRENT_LIST_DIR}/FileActions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Volumes.h ${CMAKE_CURRENT_LIST_DIR}/Volumes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FolderCreation.h ${CMAKE_CURRENT_LIST_DIR}/FolderCreation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LeadingNumber.h ${CMAKE_CURRENT_LIST_DIR}/LeadingNumber.cpp
)
