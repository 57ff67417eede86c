kw_add_qtest(test_data_controls SOURCES framework/DataControlsTest.cpp LIBS kw_framework)
kw_add_gtest(test_regional SOURCES framework/RegionalTest.cpp LIBS kw_framework)
