# Notepad: the RTF reader and writer (no widgets) and the notepad window with its pictures.
target_sources(kw_tools_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/Rtf.h
  ${CMAKE_CURRENT_SOURCE_DIR}/RtfReader.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/RtfWriter.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/RtfCodePages.cpp)

target_sources(kw_tools PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/UnitNotatnik.cpp ${CMAKE_CURRENT_SOURCE_DIR}/UnitNotatnik.h
  ${CMAKE_CURRENT_SOURCE_DIR}/Notepad.qrc)
