// The pocket calculator's engine, fed as the keys and buttons feed it.
#include "tools/calculators/CalcEngine.h"
#include "regional/Regional.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class CalcEngineTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland)); }

    CalcEngine engine{QLatin1Char(','), [](const QString &t) { return kw::regional::toNumber(t); }};

    // Types a line of inputs: "b" is Backspace, "n" the sign change, "E" Enter; blanks are skipped.
    QString type(const char *keys)
    {
        for (const char *k = keys; *k; ++k) {
            switch (*k) {
            case ' ':
                break;
            case 'b':
                engine.input(QChar(CalcEngine::Backspace));
                break;
            case 'n':
                engine.input(QChar(CalcEngine::SignChange));
                break;
            case 'E':
                engine.input(QChar(CalcEngine::Enter));
                break;
            default:
                engine.input(QLatin1Char(*k));
                break;
            }
        }
        return engine.display();
    }
};

TEST_F(CalcEngineTest, AddsAndAnOperationWithoutANewNumberAppliesNothing)
{
    EXPECT_EQ(type("2+3="), "5");
    EXPECT_EQ(engine.state(), CalcEngine::State::NewNumber);
    EXPECT_EQ(type("+"), "5");
    EXPECT_EQ(type("="), "5"); // "5 +" then "=": the 5 is not added again
    EXPECT_EQ(engine.accumulator(), 5);
    EXPECT_EQ(type("7E"), "7"); // Enter pending behaves like "="
    EXPECT_EQ(type("-2="), "5");
    EXPECT_EQ(type("*4/8="), "2,5");
    EXPECT_EQ(type("C 9 * 3 E"), "27");
}

TEST_F(CalcEngineTest, PercentTakesAShareOfTheAccumulatorOrScales)
{
    EXPECT_EQ(type("200+10%"), "220");
    EXPECT_EQ(type("C 200-10%"), "180");
    EXPECT_EQ(type("C 50*10%"), "5");
    EXPECT_EQ(type("C 50/10%"), "500");
    EXPECT_EQ(type("C 10%"), "10"); // nothing pending: the number stays as it is
    EXPECT_EQ(engine.pending(), u'%');
}

TEST_F(CalcEngineTest, DivisionByZeroIgnoresEverythingUntilC)
{
    EXPECT_EQ(type("1/0="), "Error");
    EXPECT_EQ(engine.state(), CalcEngine::State::Error);
    type("5,b n+-*/%=E");
    EXPECT_EQ(engine.display(), "Error");
    engine.memoryStore();
    engine.memoryAdd();
    engine.memoryRecall();
    EXPECT_EQ(engine.display(), "Error");
    EXPECT_EQ(engine.memory(), 0);
    EXPECT_EQ(engine.state(), CalcEngine::State::Error);
    EXPECT_EQ(engine.displayValue(), 0);
    EXPECT_EQ(type("c"), "0"); // letters in either case
    EXPECT_EQ(engine.state(), CalcEngine::State::NewNumber);
    EXPECT_EQ(type("8="), "8");
}

TEST_F(CalcEngineTest, SquareRootAndReciprocalOnErrorReportTheTextAndStartANewNumber)
{
    for (auto call : {&CalcEngine::squareRoot, &CalcEngine::reciprocal}) {
        type("C 1/0=");
        try {
            (engine.*call)();
            ADD_FAILURE() << "no conversion error";
        } catch (const std::exception &e) {
            EXPECT_STREQ(e.what(), "'Error' is not a valid floating point value");
        }
        EXPECT_EQ(engine.display(), "Error");
        EXPECT_EQ(engine.state(), CalcEngine::State::NewNumber);
        EXPECT_EQ(type("7"), "7");
    }
}

TEST_F(CalcEngineTest, SquareRootAndReciprocal)
{
    type("16");
    engine.squareRoot();
    EXPECT_EQ(engine.display(), "4");
    EXPECT_EQ(type("5"), "5"); // a result: the next digit starts a new number
    engine.reciprocal();
    EXPECT_EQ(engine.display(), "0,2");
    type("C 4n");
    engine.squareRoot();
    EXPECT_EQ(engine.display(), "Error");
    EXPECT_EQ(engine.state(), CalcEngine::State::Error);
    type("C 0");
    engine.reciprocal();
    EXPECT_EQ(engine.display(), "Error");
    // Zero is the edge of the square root's range, not past it.
    type("C 0");
    engine.squareRoot();
    EXPECT_EQ(engine.display(), "0");
    EXPECT_EQ(engine.state(), CalcEngine::State::NewNumber);
    type("C 0n");
    engine.squareRoot();
    EXPECT_EQ(engine.display(), "0") << "minus zero is zero";
    // The result is the operand of the pending operation, though a digit would start anew.
    type("C 9+16");
    engine.squareRoot();
    EXPECT_EQ(type("="), "13");
    type("C 5+2");
    engine.reciprocal();
    EXPECT_EQ(type("n="), "4,5");
    EXPECT_EQ(type("="), "4,5");
}

TEST_F(CalcEngineTest, BackspaceWhileEnteringAndAfterAResult)
{
    EXPECT_EQ(type("12b"), "1");
    EXPECT_EQ(type("b"), "0");
    EXPECT_EQ(type("5nb"), "0"); // "-5" is one digit long
    EXPECT_EQ(type("C 25nb"), "-2");
    EXPECT_EQ(type("C 2+3="), "5");
    EXPECT_EQ(type("b"), "0");
    EXPECT_EQ(engine.state(), CalcEngine::State::Entering);
    EXPECT_EQ(type("7"), "7");
}

TEST_F(CalcEngineTest, SeparatorOnceAndDigitsReplaceASingleZero)
{
    EXPECT_EQ(type(",,5"), "0,5");
    EXPECT_EQ(type(","), "0,5");
    EXPECT_EQ(type("C 00"), "0");
    EXPECT_EQ(type("7"), "7");
    EXPECT_EQ(type("C 2,"), "2,");
    EXPECT_EQ(type("+1="), "3");
    // Only the engine's own separator is one (the window turns "." into it); unknown inputs do nothing.
    EXPECT_EQ(type("C 1.x M&5"), "15");
    EXPECT_EQ(engine.state(), CalcEngine::State::Entering);
}

TEST_F(CalcEngineTest, DisplayOfThirdHalfAndHundred)
{
    EXPECT_EQ(type("1/3="), "0,3333333333333333");
    EXPECT_EQ(engine.format(2.5), "2,5");
    EXPECT_EQ(engine.format(100), "100");
    EXPECT_EQ(engine.format(-0.0), "0");
    EXPECT_EQ(engine.format(0.1 + 0.2), "0,3");
    EXPECT_EQ(engine.format(1e20), "100000000000000000000");
    EXPECT_EQ(engine.format(1e-17), "0");
    EXPECT_EQ(engine.format(-1234.5678), "-1234,5678");
    // Sixteen places of the binary expansion would show 2,5600000000000001 and 100,5600000000000023.
    EXPECT_EQ(type("C 2,56="), "2,56");
    EXPECT_EQ(type("C 100,56+0="), "100,56");
    EXPECT_EQ(engine.format(2.0 / 3), "0,6666666666666666");
    EXPECT_EQ(engine.format(1.1 * 1.1), "1,2100000000000002"); // a real rounding error stays visible
    EXPECT_EQ(engine.format(1e-16), "0,0000000000000001");
    EXPECT_EQ(engine.format(4e-17), "0");
    CalcEngine dotted(QLatin1Char('.'), [](const QString &t) { return t.toDouble(); });
    EXPECT_EQ(dotted.format(2.5), "2.5");
}

TEST_F(CalcEngineTest, SignChangeKeepsTheEntryState)
{
    EXPECT_EQ(type("12n"), "-12");
    EXPECT_EQ(engine.state(), CalcEngine::State::Entering);
    EXPECT_EQ(type("3"), "-123");
    EXPECT_EQ(type("+2=n"), "121");
    EXPECT_EQ(engine.state(), CalcEngine::State::NewNumber);
    EXPECT_EQ(type("4"), "4");
    EXPECT_EQ(type("C n"), "0");
}

TEST_F(CalcEngineTest, MemoryKeys)
{
    type("12");
    engine.memoryStore();
    EXPECT_EQ(engine.memory(), 12);
    EXPECT_EQ(engine.memoryIndicator(), "M");
    EXPECT_EQ(type("3"), "3"); // a new number after MS
    engine.memoryAdd();
    EXPECT_EQ(engine.memory(), 15);
    type("C");
    engine.memoryRecall();
    EXPECT_EQ(engine.display(), "15");
    EXPECT_EQ(engine.state(), CalcEngine::State::Entering);
    EXPECT_EQ(type("0"), "150"); // a digit after MR is appended
    EXPECT_EQ(type("+"), "150");
    engine.memoryRecall();
    EXPECT_EQ(type("="), "165"); // the recalled number is the operand
    type("15n");
    engine.memoryAdd();
    EXPECT_EQ(engine.memory(), 0);
    EXPECT_EQ(engine.memoryIndicator(), "");
    type("4");
    engine.memoryStore();
    engine.memoryClear();
    EXPECT_EQ(engine.memory(), 0);
    EXPECT_EQ(engine.memoryIndicator(), "");
    type("1/0=");
    engine.memoryClear(); // MC works in the error state too
    EXPECT_EQ(engine.display(), "Error");
}

TEST_F(CalcEngineTest, StartsFromTheKeptValue)
{
    engine.start(0);
    EXPECT_EQ(engine.display(), "0");
    EXPECT_EQ(type("4"), "4");

    CalcEngine kept(QLatin1Char(','), [](const QString &t) { return kw::regional::toNumber(t); });
    kept.start(12.5);
    EXPECT_EQ(kept.display(), "12,5");
    EXPECT_EQ(kept.state(), CalcEngine::State::NewNumber);
    EXPECT_EQ(kept.pending(), u'=');
    kept.input(QLatin1Char('*'));
    kept.input(QLatin1Char('2'));
    kept.input(QLatin1Char('='));
    EXPECT_EQ(kept.display(), "25");
}

TEST_F(CalcEngineTest, OverflowIsAnErrorNotInf)
{
    engine.start(1e308);
    EXPECT_EQ(type("*10="), "Error");
    EXPECT_EQ(engine.state(), CalcEngine::State::Error);
    engine.start(1e308);
    type("C");
    engine.start(1e308);
    engine.memoryStore();
    engine.memoryAdd();
    EXPECT_EQ(engine.display(), "Error");
    EXPECT_EQ(engine.memory(), 1e308);
}

TEST_F(CalcEngineTest, PasteShowsTheNumberOrZero)
{
    engine.paste(QStringLiteral("  12,75 \n"));
    EXPECT_EQ(engine.display(), "12,75");
    EXPECT_EQ(type("+1="), "13,75"); // the pasted number is an operand
    engine.paste(QStringLiteral("abc"));
    EXPECT_EQ(engine.display(), "0");
    type("1/0=");
    engine.paste(QStringLiteral("3"));
    EXPECT_EQ(engine.display(), "3");
    EXPECT_EQ(engine.state(), CalcEngine::State::Entering);
}

} // namespace
