# One add through the add/subtract dialog, durable, on day tables of 10,000 and 1,000,000 records.
add_executable(bench_add ${CMAKE_SOURCE_DIR}/bench/AddBench.cpp)
target_link_libraries(bench_add PRIVATE kw_app benchmark::benchmark)
