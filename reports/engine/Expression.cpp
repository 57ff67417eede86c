#include "reports/engine/Expression.h"

#include "regional/Regional.h"

#include <QDate>
#include <charconv>
#include <cmath>
#include <optional>

namespace kw::report {

struct Expression::Node
{
    enum Kind
    {
        Number,
        Text,
        Field,
        Neg,
        Add,
        Sub,
        Mul,
        Div,
        Sum
    } kind = Number;
    double number = 0;
    QString text;    // Text: the literal; Field: the field's name
    QString dataSet; // Field: as written, empty for the report's own
    int a = -1;
    int b = -1;
    // Sum: the running total, and whether some record could not be added.
    double total = 0;
    bool broken = false;
};

namespace {

bool isNameStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}
bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// A recursive-descent parser over the expression's text; any fault makes the whole parse fail.
class Parser
{
public:
    Parser(const QString &s, std::vector<Expression::Node> &nodes, std::vector<int> &sums, const QString &own)
        : s_(s), nodes_(nodes), sums_(sums), own_(own)
    {}

    int parseAll()
    {
        int n = expr();
        skip();
        if (n < 0 || pos_ != s_.size())
            return -1;
        return n;
    }

private:
    using Node = Expression::Node;

    void skip()
    {
        while (pos_ < s_.size() && s_.at(pos_).isSpace())
            ++pos_;
    }
    bool eat(QChar c)
    {
        skip();
        if (pos_ < s_.size() && s_.at(pos_) == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    int add(Node n)
    {
        nodes_.push_back(std::move(n));
        return int(nodes_.size()) - 1;
    }
    int binary(Node::Kind k, int a, int b)
    {
        if (a < 0 || b < 0)
            return -1;
        Node n;
        n.kind = k;
        n.a = a;
        n.b = b;
        return add(std::move(n));
    }
    QString name()
    {
        skip();
        const qsizetype start = pos_;
        if (pos_ < s_.size() && isNameStart(s_.at(pos_))) {
            ++pos_;
            while (pos_ < s_.size() && isNameChar(s_.at(pos_)))
                ++pos_;
        }
        return s_.mid(start, pos_ - start);
    }
    int field(const QString &dataSet, const QString &fieldName)
    {
        if (fieldName.isEmpty())
            return -1;
        Node n;
        n.kind = Node::Field;
        n.text = fieldName.toUpper();
        n.dataSet = dataSet.compare(own_, Qt::CaseInsensitive) == 0 ? QString() : dataSet.toUpper();
        return add(std::move(n));
    }

    int expr()
    {
        int left = term();
        for (;;) {
            if (left < 0)
                return -1;
            if (eat(QLatin1Char('+')))
                left = binary(Node::Add, left, term());
            else if (eat(QLatin1Char('-')))
                left = binary(Node::Sub, left, term());
            else
                return left;
        }
    }
    int term()
    {
        int left = factor();
        for (;;) {
            if (left < 0)
                return -1;
            if (eat(QLatin1Char('*')))
                left = binary(Node::Mul, left, factor());
            else if (eat(QLatin1Char('/')))
                left = binary(Node::Div, left, factor());
            else
                return left;
        }
    }
    int factor()
    {
        if (++depth_ > 200) // nonsense nested this deep is bad syntax, not a stack overflow
            return -1;
        const int n = unary();
        --depth_;
        return n;
    }
    int unary()
    {
        if (eat(QLatin1Char('-'))) {
            const int a = factor();
            if (a < 0)
                return -1;
            Node n;
            n.kind = Node::Neg;
            n.a = a;
            return add(std::move(n));
        }
        if (eat(QLatin1Char('+')))
            return factor();
        skip();
        if (pos_ >= s_.size())
            return -1;
        const QChar c = s_.at(pos_);
        if (c.isDigit() || c == QLatin1Char('.'))
            return number();
        if (c == QLatin1Char('\''))
            return literal();
        if (c == QLatin1Char('[')) {
            ++pos_;
            const int n = field(QString(), name());
            return n >= 0 && eat(QLatin1Char(']')) ? n : -1;
        }
        if (c == QLatin1Char('(')) {
            ++pos_;
            const int n = expr();
            return n >= 0 && eat(QLatin1Char(')')) ? n : -1;
        }
        if (isNameStart(c)) {
            const QString first = name();
            if (eat(QLatin1Char('.')))
                return field(first, name());
            if (first.compare(QLatin1String("SUM"), Qt::CaseInsensitive) == 0 && eat(QLatin1Char('('))) {
                if (inSum_)
                    return -1; // a total of totals has no meaning here
                inSum_ = true;
                const int a = expr();
                inSum_ = false;
                if (a < 0 || !eat(QLatin1Char(')')))
                    return -1;
                Node n;
                n.kind = Node::Sum;
                n.a = a;
                const int id = add(std::move(n));
                sums_.push_back(id);
                return id;
            }
            return field(QString(), first);
        }
        return -1;
    }
    int number()
    {
        qsizetype end = pos_;
        while (end < s_.size() && (s_.at(end).isDigit() || s_.at(end) == QLatin1Char('.')))
            ++end;
        if (end < s_.size() && (s_.at(end) == QLatin1Char('e') || s_.at(end) == QLatin1Char('E'))) {
            qsizetype e = end + 1;
            if (e < s_.size() && (s_.at(e) == QLatin1Char('+') || s_.at(e) == QLatin1Char('-')))
                ++e;
            if (e < s_.size() && s_.at(e).isDigit()) {
                while (e < s_.size() && s_.at(e).isDigit())
                    ++e;
                end = e;
            }
        }
        // Numbers in a stored expression never follow the user's locale.
        const QByteArray digits = s_.mid(pos_, end - pos_).toLatin1();
        double v = 0;
        const auto [ptr, ec] = std::from_chars(digits.constData(), digits.constData() + digits.size(), v);
        if (ec != std::errc() || ptr != digits.constData() + digits.size())
            return -1;
        pos_ = end;
        Node n;
        n.kind = Node::Number;
        n.number = v;
        return add(std::move(n));
    }
    int literal()
    {
        ++pos_; // the opening quote
        QString t;
        while (pos_ < s_.size()) {
            const QChar c = s_.at(pos_++);
            if (c == QLatin1Char('\'')) {
                if (pos_ < s_.size() && s_.at(pos_) == QLatin1Char('\'')) {
                    t += c; // a doubled quote stands for one
                    ++pos_;
                    continue;
                }
                Node n;
                n.kind = Node::Text;
                n.text = t;
                return add(std::move(n));
            }
            t += c;
        }
        return -1;
    }

    const QString &s_;
    std::vector<Node> &nodes_;
    std::vector<int> &sums_;
    const QString &own_;
    qsizetype pos_ = 0;
    int depth_ = 0;
    bool inSum_ = false;
};

// An operand of arithmetic: a number, or a blank field taken as 0; anything else fails.
std::optional<double> operand(const QVariant &v)
{
    if (!v.isValid())
        return std::nullopt;
    if (v.isNull())
        return 0.0;
    if (isNumber(v))
        return v.toDouble();
    return std::nullopt;
}

} // namespace

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(Expression &&) noexcept = default;
Expression &Expression::operator=(Expression &&) noexcept = default;

Expression Expression::parse(const QString &text, const QString &ownDataSet)
{
    Expression e;
    e.text_ = text;
    Parser p(e.text_, e.nodes_, e.sums_, ownDataSet);
    e.root_ = p.parseAll();
    if (e.root_ < 0) {
        e.nodes_.clear();
        e.sums_.clear();
    }
    return e;
}

QVariant Expression::eval(int id, const FieldLookup &lookup) const
{
    const Node &n = nodes_[std::size_t(id)];
    switch (n.kind) {
    case Node::Number:
        return n.number;
    case Node::Text:
        return n.text;
    case Node::Field:
        return lookup ? lookup(n.dataSet, n.text) : QVariant();
    case Node::Sum:
        return n.broken ? QVariant() : QVariant(n.total);
    case Node::Neg: {
        const auto a = operand(eval(n.a, lookup));
        return a ? QVariant(-*a) : QVariant();
    }
    default:
        break;
    }
    const auto a = operand(eval(n.a, lookup));
    const auto b = operand(eval(n.b, lookup));
    if (!a || !b)
        return QVariant();
    double r = 0;
    switch (n.kind) {
    case Node::Add:
        r = *a + *b;
        break;
    case Node::Sub:
        r = *a - *b;
        break;
    case Node::Mul:
        r = *a * *b;
        break;
    case Node::Div:
        if (*b == 0)
            return QVariant();
        r = *a / *b;
        break;
    default:
        return QVariant();
    }
    return std::isfinite(r) ? QVariant(r) : QVariant();
}

QVariant Expression::evaluate(const FieldLookup &lookup) const
{
    if (root_ < 0)
        return QVariant();
    return eval(root_, lookup);
}

QString Expression::display(const FieldLookup &lookup, bool *numeric) const
{
    const QVariant v = evaluate(lookup);
    if (numeric)
        *numeric = v.isValid() && isNumber(v);
    if (!v.isValid())
        return text_;
    if (v.isNull())
        return QString();
    if (isNumber(v))
        return regional::formatGeneral(v.toDouble());
    if (v.typeId() == QMetaType::QDate)
        return regional::shortDate(v.toDate());
    return v.toString();
}

void Expression::accumulate(const FieldLookup &lookup)
{
    for (int id : sums_) {
        Node &n = nodes_[std::size_t(id)];
        if (n.broken)
            continue;
        const auto v = operand(eval(n.a, lookup));
        if (v)
            n.total += *v;
        else
            n.broken = true;
    }
}

void Expression::resetSums()
{
    for (int id : sums_) {
        nodes_[std::size_t(id)].total = 0;
        nodes_[std::size_t(id)].broken = false;
    }
}

} // namespace kw::report
