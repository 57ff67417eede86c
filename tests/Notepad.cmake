# The RTF reader and writer alone, against other programs' files, and the notepad window.
kw_add_gtest(test_rtf SOURCES tools/notepad/RtfTest.cpp LIBS kw_tools_core)
kw_add_qtest(test_notepad SOURCES tools/notepad/NotepadTest.cpp LIBS kw_tools)
# Against LibreOffice, enscript, latex2rtf and unrtf; each part is skipped when its program is missing.
kw_add_gtest(test_rtf_interop SOURCES tools/notepad/RtfInteropTest.cpp LIBS kw_tools_core)
