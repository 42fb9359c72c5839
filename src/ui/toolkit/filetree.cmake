# The folder tree, its file operations and change watch, and a window to look
# at it in (zorvane-filetree-demo, which also measures it).
target_sources(zorvane_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FileTreeCtrl.h ${CMAKE_CURRENT_LIST_DIR}/FileTreeCtrl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileTreeItems.cpp ${CMAKE_CURRENT_LIST_DIR}/FileTreeHistory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileTreeEvents.cpp ${CMAKE_CURRENT_LIST_DIR}/FileTreeHelpers.h
  ${CMAKE_CURRENT_LIST_DIR}/FileTreeItem.h ${CMAKE_CURRENT_LIST_DIR}/FileTreeOps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileTreeWatcher.h
)
add_executable(zorvane-filetree-demo ${CMAKE_CURRENT_LIST_DIR}/demo/FileTreeDemo.cpp)
target_link_libraries(zorvane-filetree-demo PRIVATE zorvane_ui)
