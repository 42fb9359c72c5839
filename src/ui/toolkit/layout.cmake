target_sources(zorvane_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DialogUnits.h ${CMAKE_CURRENT_LIST_DIR}/DialogUnits.cpp
)
