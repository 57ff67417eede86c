#pragma once

// The pocket calculator without its window: it is fed one input character at a time (a key or a
// button) and keeps the display text, the entry state, the accumulator, the pending operation and
// the memory. The window only maps keys and buttons onto it and shows display() afterwards.
//
// Text is turned into a number by the reader handed in at construction (the user's regional
// conversion in the program); a reader throws when the text is not a number, and that error leaves
// the engine through whichever call needed the number, to be shown by the default error report.

#include <QChar>
#include <QString>
#include <functional>

class CalcEngine
{
public:
    enum class State
    {
        NewNumber,
        Entering,
        Error
    };

    using NumberReader = std::function<double(const QString &)>;

    // Input characters that are not printable.
    static constexpr char16_t Backspace = u'\b';
    static constexpr char16_t Enter = u'\r';
    static constexpr char16_t SignChange = u'\u00B1'; // "+/-"

    CalcEngine(QChar decimalSeparator, NumberReader reader);

    // One input: a digit, the decimal separator, Backspace, "C" (either case), SignChange,
    // "+", "-", "*", "/", "%", "=" or Enter. Anything else is ignored.
    void input(QChar c);

    // Starts a run with the value kept by the caller: a value other than 0 is shown as a result,
    // with "=" pending.
    void start(double value);

    void squareRoot();
    void reciprocal();
    void memoryClear();
    void memoryRecall();
    void memoryStore();
    void memoryAdd();
    // Shows a number taken from outside (the clipboard); text that is not a number shows 0.
    void paste(const QString &text);

    QString display() const { return display_; }
    State state() const { return state_; }
    double accumulator() const { return accumulator_; }
    // The pending operation: 0 for none, else the input character that set it.
    char16_t pending() const { return pending_; }
    double memory() const { return memory_; }
    // What the memory indicator shows: "M" when something is stored, else nothing.
    QString memoryIndicator() const { return memoryIndicator_; }
    QChar decimalSeparator() const { return separator_; }

    // The number on the display (0 in the error state); throws when the display is not a number.
    double displayValue() const;
    // A number as the display shows it: at most sixteen decimals, no trailing zeros, no trailing
    // separator.
    QString format(double value) const;

private:
    void startNumber();
    void operation(char16_t op);
    void show(double value);
    void fail();
    void updateIndicator();

    QChar separator_;
    NumberReader reader_;
    QString display_ = QStringLiteral("0");
    State state_ = State::NewNumber;
    // A square root or reciprocal is on the display: the next digit starts a new number, but the
    // next operation takes the result as its operand, as it would a number typed in.
    bool resultOperand_ = false;
    double accumulator_ = 0;
    char16_t pending_ = 0;
    double memory_ = 0;
    QString memoryIndicator_;
};
