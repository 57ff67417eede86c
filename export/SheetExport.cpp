#include "export/SheetExport.h"
#include "ledger/EngineError.h"

#include <QDir>
#include <QFileInfo>
#include <array>
#include <charconv>
#include <cmath>

namespace kw::sheets {

namespace {

// The day list's column titles of the ten categories, and the titles of the sums' derived fields
// as the balance boxes call them.
constexpr std::array<const char *, 10> CategoryTitles{"Przychód", "Koszt",  "Koszt okr.", "Opłaty",
                                                      "Żywność",  "Używki", "Odzież",     "Śr.czystości",
                                                      "Samochód", "Inne"};
constexpr const char *IncomeTitle = "Dochód";
constexpr const char *ExpensesTitle = "Wydatki";
constexpr const char *BudgetTitle = "Budżet";

const char *const MonthNames[12] = {"styczeń", "luty",     "marzec",   "kwiecień",    "maj",      "czerwiec",
                                    "lipiec",  "sierpień", "wrzesień", "październik", "listopad", "grudzień"};

} // namespace

std::optional<Format> formatOf(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xlsx"))
        return Format::Xlsx;
    if (suffix == QLatin1String("csv"))
        return Format::Csv;
    return std::nullopt;
}

QString Scope::describe() const
{
    if (year.isEmpty())
        return QStringLiteral("wszystkie lata");
    if (month.isEmpty())
        return QStringLiteral("rok %1").arg(year);
    bool ok = false;
    const int m = month.toInt(&ok);
    if (ok && m >= 1 && m <= 12)
        return QStringLiteral("%1 %2").arg(QString::fromUtf8(MonthNames[m - 1]), year);
    return QStringLiteral("miesiąc %1 roku %2").arg(month, year);
}

QStringList dayColumns()
{
    QStringList c{QStringLiteral("Rok"), QStringLiteral("Miesiąc"), QStringLiteral("Dzień")};
    for (const char *t : CategoryTitles)
        c << QString::fromUtf8(t);
    c << QStringLiteral("Data wpisu") << QStringLiteral("Uwagi");
    return c;
}

QStringList sumColumns(ledger::Level level)
{
    QStringList c{QStringLiteral("Rok")};
    if (level == ledger::Level::Month)
        c << QStringLiteral("Miesiąc");
    for (int i = 0; i < int(CategoryTitles.size()); ++i) {
        if (i == ledger::IncomeKinds)
            c << QString::fromUtf8(IncomeTitle);
        c << QString::fromUtf8(CategoryTitles[std::size_t(i)]);
    }
    c << QString::fromUtf8(ExpensesTitle) << QString::fromUtf8(BudgetTitle);
    return c;
}

void forEachDay(const ledger::Books &books, const Scope &scope,
                const std::function<bool(const ledger::DayEntry &)> &fn)
{
    books.forEachDay(fn, scope.year, scope.year.isEmpty() ? QString() : scope.month);
}

std::vector<ledger::MonthSum> monthSums(const ledger::Books &books, const Scope &scope)
{
    if (scope.year.isEmpty()) {
        std::vector<ledger::MonthSum> all;
        for (const QString &y : books.years()) {
            std::vector<ledger::MonthSum> of = books.monthSums(y);
            all.insert(all.end(), of.begin(), of.end());
        }
        return all;
    }
    if (scope.month.isEmpty())
        return books.monthSums(scope.year);
    const ledger::Period p{scope.month, scope.year};
    if (const auto s = books.monthSum(p))
        return {ledger::MonthSum{p, *s}};
    return {};
}

std::vector<std::pair<QString, ledger::SumFigures>> yearSums(const ledger::Books &books, const Scope &scope)
{
    std::vector<std::pair<QString, ledger::SumFigures>> out;
    const QStringList years = scope.year.isEmpty() ? books.years() : QStringList{scope.year};
    for (const QString &y : years)
        if (const auto s = books.yearSum(y))
            out.emplace_back(y, *s);
    return out;
}

namespace {
void appendAmount(QByteArray &out, double value)
{
    if (!std::isfinite(value))
        return;
    // The tables keep four decimals; anything finer is the arithmetic's noise.
    double v = std::round(value * 10000.0) / 10000.0;
    if (v == 0)
        v = 0; // no "-0,00"
    char buf[64];
    char *end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4).ptr;
    char *point = end - 5;
    *point = ',';
    // Two decimals at least, as money is written; the other two only when they hold something.
    while (end - point > 3 && end[-1] == '0')
        --end;
    out.append(buf, end - buf);
}
} // namespace

QString csvAmount(double value)
{
    QByteArray b;
    appendAmount(b, value);
    return QString::fromLatin1(b);
}

QString csvField(const QString &text)
{
    static const QString special = QStringLiteral(";\"\n\r");
    bool quote = false;
    for (const QChar c : text)
        if (special.contains(c)) {
            quote = true;
            break;
        }
    if (!quote)
        return text;
    QString q = text;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

qint64 writeCsv(const ledger::Books &books, const Scope &scope, QIODevice &out)
{
    const auto put = [&out](const QByteArray &bytes) {
        if (out.write(bytes) != bytes.size())
            throw EngineError(out.errorString(), EngineError::Kind::WriteFailed);
    };
    QByteArray block("\xEF\xBB\xBF");
    block += dayColumns().join(QLatin1Char(';')).toUtf8() + "\r\n";
    qint64 rows = 0;
    forEachDay(books, scope, [&](const ledger::DayEntry &e) {
        block += csvField(e.ref.period.year).toUtf8();
        block += ';';
        block += csvField(e.ref.period.month).toUtf8();
        block += ';';
        block += QByteArray::number(e.ref.day);
        for (const double a : e.amounts) {
            block += ';';
            appendAmount(block, a);
        }
        block += ';';
        if (e.created.isValid())
            block += e.created.toString(Qt::ISODate).toLatin1();
        block += ';';
        block += csvField(e.remark).toUtf8();
        block += "\r\n";
        ++rows;
        // Out in pieces of about a megabyte: neither a write per row nor the whole file in memory.
        if (block.size() >= (1 << 20)) {
            put(block);
            block.clear();
        }
        return true;
    });
    put(block);
    return rows;
}

} // namespace kw::sheets
