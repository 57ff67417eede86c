#include "tools/calculators/CalcEngine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>

namespace {
const QString ErrorText = QStringLiteral("Error");

bool isOperation(char16_t c)
{
    return c == u'+' || c == u'-' || c == u'*' || c == u'/' || c == u'%' || c == u'=' ||
           c == CalcEngine::Enter;
}
} // namespace

CalcEngine::CalcEngine(QChar decimalSeparator, NumberReader reader)
    : separator_(decimalSeparator), reader_(std::move(reader))
{}

QString CalcEngine::format(double value) const
{
    // Sixteen decimals hide the last-bit noise of a sum like 0.1 + 0.2 (it shows 0,3). Where the
    // number needs fewer decimals to be told apart from its neighbours it is written with those:
    // the binary expansion of 2.56 read to sixteen places is 2.5600000000000001, which no one typed.
    // Written in the C locale and then given the user's separator, whatever the C library's locale.
    if (value == 0)
        value = 0; // no "-0"
    char buffer[400];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    const char *point = std::find(buffer, r.ptr, '.');
    if (point != r.ptr && r.ptr - point - 1 > 16)
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 16);
    QString text = QString::fromLatin1(buffer, int(r.ptr - buffer));
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    text.replace(QLatin1Char('.'), separator_);
    return text;
}

double CalcEngine::displayValue() const
{
    if (state_ == State::Error)
        return 0;
    return reader_(display_.trimmed());
}

void CalcEngine::show(double value)
{
    // A result too large for a double has no digits to show; it is an error like 1/0.
    if (!std::isfinite(value)) {
        fail();
        return;
    }
    display_ = format(value);
}

void CalcEngine::fail()
{
    state_ = State::Error;
    resultOperand_ = false;
    display_ = ErrorText;
}

void CalcEngine::startNumber()
{
    resultOperand_ = false;
    if (state_ == State::NewNumber) {
        state_ = State::Entering;
        display_ = QStringLiteral("0");
    }
}

void CalcEngine::input(QChar ch)
{
    char16_t c = ch.toUpper().unicode();
    if (state_ == State::Error && c != u'C')
        return;

    if (ch == separator_) {
        startNumber();
        if (!display_.contains(separator_))
            display_ += separator_;
    } else if (c == Backspace) {
        startNumber();
        if (display_.size() == 1 || (display_.size() == 2 && display_.startsWith(QLatin1Char('-'))))
            display_ = QStringLiteral("0");
        else
            display_.chop(1);
    } else if (c >= u'0' && c <= u'9') {
        startNumber();
        if (display_ == QLatin1String("0"))
            display_.clear();
        if (!display_.contains(QLatin1Char('E')))
            display_ += QChar(c);
    } else if (isOperation(c)) {
        operation(c);
    } else if (c == u'C') {
        state_ = State::NewNumber;
        resultOperand_ = false;
        display_ = QStringLiteral("0");
        pending_ = u'=';
    } else if (c == SignChange) {
        show(-displayValue());
    }
}

void CalcEngine::operation(char16_t op)
{
    if (state_ == State::Entering || resultOperand_) {
        state_ = State::NewNumber;
        resultOperand_ = false;
        double e = displayValue();
        if (op == u'%') {
            if (pending_ == u'*' || pending_ == u'/')
                e *= 0.01;
            else if (pending_ == u'+' || pending_ == u'-')
                e = accumulator_ * e * 0.01;
        }
        switch (pending_) {
        case u'*':
            show(accumulator_ * e);
            break;
        case u'+':
            show(accumulator_ + e);
            break;
        case u'-':
            show(accumulator_ - e);
            break;
        case u'/':
            if (e == 0)
                fail();
            else
                show(accumulator_ / e);
            break;
        default:
            show(e);
            break; // nothing pending, "=", "%" or Enter: nothing to apply
        }
    }
    pending_ = op;
    accumulator_ = displayValue();
}

void CalcEngine::start(double value)
{
    resultOperand_ = false;
    if (value != 0) {
        show(value);
        state_ = State::NewNumber;
        pending_ = u'=';
    }
}

void CalcEngine::squareRoot()
{
    state_ = State::NewNumber;
    const double v = displayValue();
    if (v >= 0) {
        show(std::sqrt(v));
        resultOperand_ = state_ != State::Error;
    } else {
        fail();
    }
}

void CalcEngine::reciprocal()
{
    state_ = State::NewNumber;
    const double v = displayValue();
    if (v != 0) {
        show(1 / v);
        resultOperand_ = state_ != State::Error;
    } else {
        fail();
    }
}

void CalcEngine::updateIndicator()
{
    memoryIndicator_ = memory_ != 0 ? QStringLiteral("M") : QString();
}

void CalcEngine::memoryClear()
{
    memory_ = 0;
    updateIndicator();
}

void CalcEngine::memoryRecall()
{
    if (state_ == State::Error)
        return;
    show(memory_);
    state_ = State::Entering;
}

void CalcEngine::memoryStore()
{
    if (state_ == State::Error)
        return;
    memory_ = displayValue();
    state_ = State::NewNumber;
    updateIndicator();
}

void CalcEngine::memoryAdd()
{
    if (state_ == State::Error)
        return;
    const double sum = memory_ + displayValue();
    state_ = State::NewNumber;
    // The memory never holds a number the display could not show.
    if (!std::isfinite(sum)) {
        fail();
        return;
    }
    memory_ = sum;
    updateIndicator();
}

void CalcEngine::paste(const QString &text)
{
    double value = 0;
    try {
        value = reader_(text.trimmed());
    } catch (const std::exception &) {
        value = 0;
    }
    // The pasted number is an operand the user put there, like a recalled memory: the next
    // operation uses it, and it ends an error.
    state_ = State::Entering;
    show(value);
}
