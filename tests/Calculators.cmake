# Calculators: the engines alone, then the pocket calculator window and the bank calculator window.
kw_add_gtest(test_calc_engine SOURCES tools/CalcEngineTest.cpp LIBS kw_tools_core kw_framework)
kw_add_gtest(test_bank_math SOURCES tools/BankMathTest.cpp LIBS kw_tools_core)
kw_add_qtest(test_calc_dialog SOURCES tools/CalcDialogTest.cpp LIBS kw_tools)
kw_add_qtest(test_bank_calculator SOURCES tools/BankCalculatorTest.cpp LIBS kw_tools)
