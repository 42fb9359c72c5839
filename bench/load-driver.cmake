# bench/load.sh configures the Zorvane project itself, as scripts/build.sh
# does, with -DCMAKE_PROJECT_Zorvane_INCLUDE=<this file>: the driver then
# builds against the very libraries the program is made of. The target can
# only be added once src/ has been read, at the end of the top folder.
function(zorvane_add_bench_load)
  add_executable(bench-load EXCLUDE_FROM_ALL ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/src/LoadDriver.cpp)
  target_link_libraries(bench-load PRIVATE zorvane_ui)
endfunction()
cmake_language(DEFER CALL zorvane_add_bench_load)
