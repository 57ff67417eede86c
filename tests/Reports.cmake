# The report engine alone (no widgets), and the print preview window.
kw_add_qtest(test_report_engine SOURCES reports/EngineTest.cpp reports/ReportFixture.h LIBS kw_report_engine)
target_include_directories(test_report_engine PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/reports)
kw_add_qtest(test_preview SOURCES reports/PreviewTest.cpp reports/ReportFixture.h LIBS kw_app)
target_include_directories(test_preview PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/reports)
# Starts its own CUPS scheduler on a private socket; skips where that cannot run.
kw_add_qtest(test_print_cups SOURCES reports/PrintCupsTest.cpp reports/ReportFixture.h LIBS kw_app)
target_include_directories(test_print_cups PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/reports)
