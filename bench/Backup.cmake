# Start-up of the program on the supplied tables, with a dated copy to make and with none.
add_executable(bench_backup ${CMAKE_SOURCE_DIR}/bench/BackupBench.cpp)
target_link_libraries(bench_backup PRIVATE kw_app benchmark::benchmark)
