target_sources(zorvane_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/HyperLink.h ${CMAKE_CURRENT_LIST_DIR}/HyperLink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FolderDialog.h ${CMAKE_CURRENT_LIST_DIR}/FolderDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MyDropTarget.h ${CMAKE_CURRENT_LIST_DIR}/MyDropTarget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Contrast.h ${CMAKE_CURRENT_LIST_DIR}/Contrast.cpp
)
