#include "export/SheetExport.h"
#include "ledger/EngineError.h"
#include "ledger/OutputFile.h"

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

namespace {
// "1 wpis", "3 wpisy", "5 wpisów": Polish counts take one of three forms.
QString counted(qint64 n, const char *one, const char *few, const char *many)
{
    const qint64 tens = n % 100, units = n % 10;
    const char *form = n == 1 ? one : (units >= 2 && units <= 4 && (tens < 12 || tens > 14)) ? few : many;
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(form));
}
} // namespace

QString describe(const Exported &n, Format format)
{
    QString out = counted(n.days, "wpis", "wpisy", "wpisów");
    if (format == Format::Xlsx)
        out += QStringLiteral(", %1, %2")
                   .arg(counted(n.months, "suma miesiąca", "sumy miesięcy", "sum miesięcy"),
                        counted(n.years, "suma roku", "sumy lat", "sum lat"));
    return out;
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
    bool failed = false;
    const auto put = [&out, &failed](const QByteArray &bytes) {
        if (!failed && out.write(bytes) != bytes.size())
            failed = true;
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
        return !failed;
    });
    put(block);
    return rows;
}

namespace {
// Whether the scope holds anything: its sums first, which are a few records; the days only when
// there is no sum, since finding one may read the whole day table.
bool holdsAnything(const ledger::Books &books, const Scope &scope)
{
    if (scope.year.isEmpty()    ? !books.years().isEmpty()
        : scope.month.isEmpty() ? books.yearSum(scope.year).has_value()
                                : books.monthSum({scope.month, scope.year}).has_value())
        return true;
    bool any = false;
    forEachDay(books, scope, [&any](const ledger::DayEntry &) {
        any = true;
        return false;
    });
    return any;
}
} // namespace

namespace {
output::FileKind kindOf(Format format)
{
    return format == Format::Xlsx ? output::FileKind::Xlsx : output::FileKind::Csv;
}
} // namespace

QString refusal(const ledger::Books &books, const QString &path)
{
    const std::optional<Format> format = formatOf(path);
    if (!format)
        return QStringLiteral("Nie zapisano pliku „%1”: nieznany format; nadaj plikowi rozszerzenie .xlsx "
                              "(skoroszyt) albo .csv (tekst).")
            .arg(QDir::toNativeSeparators(path));
    return output::refusal(path, kindOf(*format), books.folder());
}

Exported exportBooks(const ledger::Books &books, const Scope &scope, const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    // The target is checked before anything is read, so a refusal costs nothing.
    if (const QString why = refusal(books, path); !why.isEmpty())
        throw EngineError(why, EngineError::Kind::Refused);
    const Format format = *formatOf(path);
    const output::FileKind kind = kindOf(format);
    if (!holdsAnything(books, scope))
        throw EngineError(
            scope.year.isEmpty()
                ? QStringLiteral("Nie zapisano pliku „%1”: księgi są puste.").arg(shown)
                : QStringLiteral("Nie zapisano pliku „%1”: księgi nie mają wpisów ani sum za %2; "
                                 "wybierz inny okres.")
                      .arg(shown, scope.describe()),
            EngineError::Kind::Refused);

    output::AtomicOutput out(path, kind, books.folder());
    Exported n;
    if (format == Format::Csv) {
        n.days = writeCsv(books, scope, out.device());
    } else {
        // The library writes the workbook by its name.
        out.device().close();
        n = writeXlsx(books, scope, out.temporaryPath(), path);
    }
    out.commit();
    return n;
}

} // namespace kw::sheets
