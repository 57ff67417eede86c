# The RTF reader and writer alone, against other programs' files, and the notepad window.
kw_add_gtest(test_rtf SOURCES tools/RtfTest.cpp LIBS kw_tools_core)
