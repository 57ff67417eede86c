# The statements from the command to the first and the last page, and the companion's PDF.
add_executable(bench_statements ${CMAKE_SOURCE_DIR}/bench/StatementBench.cpp ${CMAKE_SOURCE_DIR}/bench/StatementTables.h)
target_link_libraries(bench_statements PRIVATE kw_app kw_statements benchmark::benchmark)
