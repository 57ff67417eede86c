# Notepad: the RTF reader and writer (no widgets) and the notepad window with its pictures.
target_sources(kw_tools_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/notepad/Rtf.h
  ${CMAKE_CURRENT_SOURCE_DIR}/notepad/RtfReader.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/notepad/RtfWriter.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/notepad/RtfCodePages.cpp)

target_sources(kw_tools PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/notepad/UnitNotatnik.cpp ${CMAKE_CURRENT_SOURCE_DIR}/notepad/UnitNotatnik.h
  ${CMAKE_CURRENT_SOURCE_DIR}/notepad/Notepad.qrc)
