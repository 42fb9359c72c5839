target_sources(zorvane_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DialogUnits.h ${CMAKE_CURRENT_LIST_DIR}/DialogUnits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowPlacementStore.h ${CMAKE_CURRENT_LIST_DIR}/WindowPlacementStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SizeGripExt.h ${CMAKE_CURRENT_LIST_DIR}/SizeGripExt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ResizeDlg.h ${CMAKE_CURRENT_LIST_DIR}/ResizeDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SSplitter.h ${CMAKE_CURRENT_LIST_DIR}/SSplitter.cpp
)

# A small window with a resizable dialog, a splitter and a link, for looking
# at the toolkit and taking screenshots of it.
add_executable(zorvane-toolkit-demo ${CMAKE_CURRENT_LIST_DIR}/demo/ToolkitDemo.cpp)
target_link_libraries(zorvane-toolkit-demo PRIVATE zorvane_ui)
