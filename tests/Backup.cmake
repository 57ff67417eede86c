# Dated copies of the ledger tables: the library, the command line, and the copy made at start-up.
kw_add_gtest(test_backup SOURCES ledger/BackupTest.cpp ledger/TestTables.h LIBS kw_ledger)
target_compile_definitions(test_backup PRIVATE KW_LEDGER_TOOL="$<TARGET_FILE:kwotnik-ledger>")
add_dependencies(test_backup kwotnik-ledger)
kw_add_qtest(test_backup_startup SOURCES startup/BackupStartupTest.cpp LIBS kw_app)
