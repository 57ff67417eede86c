# The three statements: PDFs written by the companion, and the previews through the main window.
kw_add_gtest(test_statement_pdf SOURCES statements/StatementPdfTest.cpp statements/StatementLedger.h
             LIBS kw_statements kw_regional)
target_compile_definitions(test_statement_pdf PRIVATE KW_LEDGER_TOOL="$<TARGET_FILE:kwotnik-ledger>")
add_dependencies(test_statement_pdf kwotnik-ledger)
kw_add_qtest(test_statement_windows SOURCES statements/StatementWindowsTest.cpp LIBS kw_app)
