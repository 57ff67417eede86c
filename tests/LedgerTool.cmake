# The ledger companion's command line: folders it makes and the modes of what it writes.
kw_add_gtest(test_ledger_tool SOURCES ledger/LedgerToolTest.cpp LIBS kw_ledger)
target_compile_definitions(test_ledger_tool PRIVATE KW_LEDGER_TOOL="$<TARGET_FILE:kwotnik-ledger>")
add_dependencies(test_ledger_tool kwotnik-ledger)
