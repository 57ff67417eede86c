# The main window and the month and year dialog, driven as a user drives them.
kw_add_qtest(test_app_main SOURCES app/MainWindowTest.cpp app/AppFixture.h LIBS kw_app)
kw_add_qtest(test_app_period SOURCES app/MonthYearTest.cpp app/AppFixture.h LIBS kw_app)
