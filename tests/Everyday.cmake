# Everyday use on the real windows: closing, keyboard, placement, amounts, hints.
kw_add_qtest(test_app_everyday SOURCES app/EverydayTest.cpp app/AppFixture.h LIBS kw_app)
