kw_add_fuzzer(fuzz_rtf SOURCES ${CMAKE_SOURCE_DIR}/fuzz/tools/notepad/RtfFuzz.cpp LIBS kw_tools_core CORPUS ${CMAKE_SOURCE_DIR}/fuzz/tools/notepad/corpus)
