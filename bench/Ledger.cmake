# Table engine: open + filter to one period and one post, on day tables of 10,000 to 1,000,000 records,
# against streaming the file and against shapelib's reader doing the same filter (when installed).
add_executable(bench_table ${CMAKE_SOURCE_DIR}/bench/TableBench.cpp ${CMAKE_SOURCE_DIR}/bench/BigTables.h)
target_link_libraries(bench_table PRIVATE kw_ledger benchmark::benchmark)
find_library(SHAPELIB_LIBRARY shp)
find_path(SHAPELIB_INCLUDE shapefil.h)
if(SHAPELIB_LIBRARY AND SHAPELIB_INCLUDE)
  target_compile_definitions(bench_table PRIVATE KW_HAVE_SHAPELIB=1)
  target_include_directories(bench_table PRIVATE ${SHAPELIB_INCLUDE})
  target_link_libraries(bench_table PRIVATE ${SHAPELIB_LIBRARY})
endif()
