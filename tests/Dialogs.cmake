# The new-day, add/subtract and change dialogs on real tables, through the program's windows.
kw_add_qtest(test_dialogs_entry SOURCES dialogs/EntryDialogsTest.cpp dialogs/DialogFixture.h LIBS kw_app)
kw_add_qtest(test_dialogs_newday SOURCES dialogs/NewDayTest.cpp dialogs/DialogFixture.h LIBS kw_app)
kw_add_qtest(test_dialogs_session SOURCES dialogs/SessionTest.cpp dialogs/DialogFixture.h LIBS kw_app)
