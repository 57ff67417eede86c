# Help file parser (no windows), help viewer, about box and splash window.
kw_add_gtest(test_help_file SOURCES tools/help/HelpFileTest.cpp LIBS kw_tools_core)
kw_add_qtest(test_help_viewer SOURCES tools/help/HelpViewerTest.cpp tools/help/HelpTestSupport.h LIBS kw_tools)
target_compile_definitions(test_help_file PRIVATE KW_HELP_SOURCE="${CMAKE_SOURCE_DIR}/data/POMOC.HLP")
target_compile_definitions(test_help_viewer PRIVATE KW_HELP_SOURCE="${CMAKE_SOURCE_DIR}/data/POMOC.HLP")
kw_add_qtest(test_about SOURCES tools/help/AboutTest.cpp tools/help/HelpTestSupport.h LIBS kw_tools)
kw_add_qtest(test_splash SOURCES tools/help/SplashTest.cpp tools/help/HelpTestSupport.h LIBS kw_tools)
