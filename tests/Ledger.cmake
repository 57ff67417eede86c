# Table engine and ledger tests (no windows).
kw_add_gtest(test_dbf_file SOURCES ledger/DbfFileTest.cpp ledger/TestTables.h LIBS kw_ledger)
kw_add_gtest(test_table SOURCES ledger/TableTest.cpp ledger/TestTables.h LIBS kw_ledger)
kw_add_gtest(test_journal SOURCES ledger/JournalTest.cpp ledger/TestTables.h LIBS kw_ledger)
kw_add_gtest(test_outside_changes SOURCES ledger/OutsideChangesTest.cpp ledger/TestTables.h LIBS kw_ledger)
kw_add_gtest(test_ledger SOURCES ledger/LedgerTest.cpp ledger/TestTables.h LIBS kw_ledger)
kw_add_gtest(test_interop SOURCES ledger/InteropTest.cpp ledger/TestTables.h LIBS kw_ledger)
target_compile_definitions(test_interop PRIVATE KW_LEDGER_TOOL="$<TARGET_FILE:kwotnik-ledger>")
add_dependencies(test_interop kwotnik-ledger)
