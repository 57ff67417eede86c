# Calculators: the engines alone, then the pocket calculator window and the bank calculator window.
kw_add_gtest(test_calc_engine SOURCES tools/calculators/CalcEngineTest.cpp LIBS kw_tools_core kw_framework)
kw_add_gtest(test_bank_math SOURCES tools/calculators/BankMathTest.cpp LIBS kw_tools_core)
kw_add_qtest(test_calc_dialog SOURCES tools/calculators/CalcDialogTest.cpp LIBS kw_tools)
kw_add_qtest(test_bank_calculator SOURCES tools/calculators/BankCalculatorTest.cpp LIBS kw_tools)
