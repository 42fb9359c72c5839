# The file list's widgets: the report list, its header and model, and the row
# adapter the info reader writes through.
target_sources(zorvane_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ReportCtrl.h ${CMAKE_CURRENT_LIST_DIR}/ReportCtrl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReportCtrlColumns.cpp ${CMAKE_CURRENT_LIST_DIR}/ReportCtrlEdit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReportCtrlRows.cpp ${CMAKE_CURRENT_LIST_DIR}/ReportCtrlSort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReportCtrlPaint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReportModel.h ${CMAKE_CURRENT_LIST_DIR}/ReportModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReportHeader.h ${CMAKE_CURRENT_LIST_DIR}/ReportHeader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReportDelegate.h
  ${CMAKE_CURRENT_LIST_DIR}/ReportRowSink.h ${CMAKE_CURRENT_LIST_DIR}/ReportRowSink.cpp
)

# A window with a filled file list and an empty one, for looking at the list
# and taking screenshots of it.
add_executable(zorvane-filelist-demo ${CMAKE_CURRENT_LIST_DIR}/demo/ReportCtrlDemo.cpp)
target_link_libraries(zorvane-filelist-demo PRIVATE zorvane_ui)
