target_sources(zorvane_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ConvProg.h ${CMAKE_CURRENT_LIST_DIR}/ConvProg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogRowDelegate.h ${CMAKE_CURRENT_LIST_DIR}/LogRowDelegate.cpp
)
