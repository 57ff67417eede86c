kw_add_fuzzer(fuzz_help_file SOURCES ${CMAKE_SOURCE_DIR}/fuzz/tools/help/HelpFuzz.cpp LIBS kw_tools_core
              CORPUS ${CMAKE_SOURCE_DIR}/fuzz/tools/help/corpus)
