kw_add_fuzzer(fuzz_dbf SOURCES ${CMAKE_SOURCE_DIR}/fuzz/DbfFuzz.cpp LIBS kw_ledger CORPUS ${CMAKE_SOURCE_DIR}/fuzz/corpus/dbf)
