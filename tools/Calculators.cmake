# Calculators: the pocket calculator's engine and the bank arithmetic (no widgets), and their windows.
target_sources(kw_tools_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/CalcEngine.cpp ${CMAKE_CURRENT_SOURCE_DIR}/CalcEngine.h
  ${CMAKE_CURRENT_SOURCE_DIR}/BankMath.cpp ${CMAKE_CURRENT_SOURCE_DIR}/BankMath.h)

target_sources(kw_tools PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/CalcDialog.cpp ${CMAKE_CURRENT_SOURCE_DIR}/CalcDialog.h
  ${CMAKE_CURRENT_SOURCE_DIR}/UnitKalk.cpp ${CMAKE_CURRENT_SOURCE_DIR}/UnitKalk.h)
