# Calculators: the pocket calculator's engine and the bank arithmetic (no widgets), and their windows.
target_sources(kw_tools_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/calculators/CalcEngine.cpp ${CMAKE_CURRENT_SOURCE_DIR}/calculators/CalcEngine.h
  ${CMAKE_CURRENT_SOURCE_DIR}/calculators/BankMath.cpp ${CMAKE_CURRENT_SOURCE_DIR}/calculators/BankMath.h)

target_sources(kw_tools PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/calculators/CalcDialog.cpp ${CMAKE_CURRENT_SOURCE_DIR}/calculators/CalcDialog.h
  ${CMAKE_CURRENT_SOURCE_DIR}/calculators/UnitKalk.cpp ${CMAKE_CURRENT_SOURCE_DIR}/calculators/UnitKalk.h)
