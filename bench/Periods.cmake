# What the user waits for around periods, through the windows: first open, close, switch, re-open
# and the new-day dialog in a dense period, on day tables of 10,000 to 1,000,000 records, beside a
# streaming read of the same file.
add_executable(bench_periods ${CMAKE_SOURCE_DIR}/bench/PeriodBench.cpp ${CMAKE_SOURCE_DIR}/bench/BigTables.h)
target_link_libraries(bench_periods PRIVATE kw_app benchmark::benchmark)
