kw_add_fuzzer(fuzz_dbf SOURCES ${CMAKE_SOURCE_DIR}/fuzz/ledger/DbfFuzz.cpp LIBS kw_ledger CORPUS ${CMAKE_SOURCE_DIR}/fuzz/ledger/corpus)
