# Report engine: layout and painting of statement-shaped reports of 12 to 10,000 details.
add_executable(bench_report ${CMAKE_SOURCE_DIR}/bench/ReportBench.cpp ${CMAKE_SOURCE_DIR}/bench/BigTables.h)
target_link_libraries(bench_report PRIVATE kw_report_engine kw_ledger benchmark::benchmark)
