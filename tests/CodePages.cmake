# The code-page module shared by the tables and the notepad.
kw_add_gtest(test_code_pages SOURCES ledger/CodePageTest.cpp ledger/TestTables.h LIBS kw_ledger kw_tools_core)
target_compile_definitions(test_code_pages PRIVATE KW_LEDGER_TOOL="$<TARGET_FILE:kwotnik-ledger>")
add_dependencies(test_code_pages kwotnik-ledger)
