kw_add_qtest(test_startup SOURCES startup/StartupTest.cpp LIBS kw_app)
