# Every writer of the ledger killed at each of its writes, flushes, truncates and unlinks (strace).
add_executable(crash_driver ledger/CrashDriver.cpp)
target_link_libraries(crash_driver PRIVATE kw_ledger)
kw_add_gtest(test_crash_matrix SOURCES ledger/CrashMatrixTest.cpp ledger/TestTables.h LIBS kw_ledger)
target_compile_definitions(test_crash_matrix PRIVATE KW_CRASH_DRIVER="$<TARGET_FILE:crash_driver>")
add_dependencies(test_crash_matrix crash_driver)
