# Resource benchmarks: CPU per tick, memory against a bare window, and the helper the idle and
# start-up scripts use. Included from bench/CMakeLists.txt; figures in BENCHMARKS.md.
#   cmake --build build --target bench_resources

set(_tikvor_bench_data ${TIKVOR_DATA_DIR})
if(NOT _tikvor_bench_data)
  set(_tikvor_bench_data ${PROJECT_SOURCE_DIR}/data)
endif()

foreach(_bench bench_tickcost bench_memory)
  add_executable(${_bench} ${CMAKE_CURRENT_LIST_DIR}/${_bench}.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/benchrig.h)
  target_link_libraries(${_bench} PRIVATE tikvor_ui Qt6::Widgets tikvor_warnings)
  target_compile_definitions(${_bench} PRIVATE TIKVOR_DATA_DIR="${_tikvor_bench_data}")
endforeach()

# Linked against Qt Widgets only: the yardstick must carry nothing of the clock.
add_executable(bench_barewindow ${CMAKE_CURRENT_LIST_DIR}/bench_barewindow.cpp)
target_link_libraries(bench_barewindow PRIVATE Qt6::Widgets tikvor_warnings)

set(_tikvor_bench_targets bench_tickcost bench_memory bench_barewindow)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_executable(bench_ptyhold ${CMAKE_CURRENT_LIST_DIR}/bench_ptyhold.cpp)
  target_link_libraries(bench_ptyhold PRIVATE tikvor_warnings)
  list(APPEND _tikvor_bench_targets bench_ptyhold)
endif()
set_target_properties(${_tikvor_bench_targets} PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})

# Everything the scripts need: the benches, the program and the line shim.
add_custom_target(bench_resources)
add_dependencies(bench_resources ${_tikvor_bench_targets} Tikvor_1 tikvor-display tikvor_data)
if(TARGET lineshim)
  add_dependencies(bench_resources lineshim)
endif()
