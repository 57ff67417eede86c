#include "reports/analysis/AnalysisFigures.h"
#include "regional/Regional.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace kw::analysis {

using ledger::Categories;
using ledger::IncomeKinds;

namespace {

// Half a grosz: amounts are kept to four decimals and shown to two, so what reads as equal is equal.
constexpr double Tolerance = 0.005;

QString capitalised(QString s)
{
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s;
}

QString money(double v)
{
    return regional::formatCurrency(v);
}

QString percentOrDash(const std::optional<double> &v)
{
    return v ? regional::formatPercent(*v) : QStringLiteral("–");
}

QString moneyOrDash(const std::optional<double> &v)
{
    return v ? money(*v) : QStringLiteral("–");
}

PeriodRow rowOf(const QString &title, const QString &key, const std::optional<ledger::SumFigures> &s)
{
    PeriodRow r;
    r.title = title;
    r.key = key;
    if (s) {
        r.booked = true;
        r.income = s->income;
        r.expenses = s->expenses;
        r.budget = s->budget;
    }
    return r;
}

FigureTable periodTable(const QString &first, const std::vector<PeriodRow> &rows)
{
    FigureTable t;
    t.header = {first, QStringLiteral("Dochód"), QStringLiteral("Wydatki"), QStringLiteral("Budżet")};
    t.numeric = {false, true, true, true};
    for (const PeriodRow &r : rows) {
        if (r.booked)
            t.rows << QStringList{r.title, money(r.income), money(r.expenses), money(r.budget)};
        else
            t.rows << QStringList{r.title, QStringLiteral("–"), QStringLiteral("–"), QStringLiteral("–")};
        t.alert << (r.booked && r.budget < -Tolerance);
    }
    return t;
}

} // namespace

bool isExpense(int category)
{
    return category >= IncomeKinds && category < int(Categories.size());
}

bool isSpending(int category)
{
    return category > 0 && category < int(Categories.size());
}

QString categoryLabel(int category)
{
    return QString::fromUtf8(Categories[std::size_t(category)].label);
}

QString monthWord(int month, QLocale::FormatType format)
{
    static const QLocale polish(QLocale::Polish, QLocale::Poland);
    return polish.standaloneMonthName(month, format);
}

QString monthName(int month)
{
    return capitalised(monthWord(month));
}

QString periodTitle(const Period &period)
{
    const int m = period.monthNumber();
    const QString name = m >= 1 && m <= 12 ? monthWord(m) : period.month;
    return QStringLiteral("%1 %2").arg(name, period.year);
}

std::optional<QString> stepYear(const QString &year, int steps)
{
    bool ok = false;
    const int y = year.trimmed().toInt(&ok);
    if (!ok || y + steps < 1 || y + steps > 99999)
        return std::nullopt;
    return QString::number(y + steps);
}

std::optional<Period> stepMonth(const Period &period, int steps)
{
    const int m = period.monthNumber();
    bool ok = false;
    const int y = period.year.trimmed().toInt(&ok);
    if (!ok || m < 1 || m > 12)
        return std::nullopt;
    const int index = y * 12 + (m - 1) + steps;
    const int year = index / 12;
    if (index < 0 || year < 1 || year > 99999)
        return std::nullopt;
    return Period::of(index % 12 + 1, year);
}

MonthFigures monthFigures(const ledger::Books &books, const Period &period)
{
    MonthFigures f;
    f.period = period;
    if (const auto s = books.monthSum(period)) {
        f.booked = true;
        f.sum = *s;
    }
    for (int c = IncomeKinds; c < int(Categories.size()); ++c) {
        CategoryShare line;
        line.category = c;
        line.amount = f.sum.amounts[std::size_t(c)];
        // A share of nothing, or of a month whose refunds outweigh its spending, means nothing.
        if (f.sum.expenses > Tolerance)
            line.share = line.amount / f.sum.expenses * 100.0;
        f.expenses.push_back(line);
    }
    std::stable_sort(f.expenses.begin(), f.expenses.end(),
                     [](const CategoryShare &a, const CategoryShare &b) { return a.amount > b.amount; });
    return f;
}

YearFigures yearFigures(const ledger::Books &books, const QString &year)
{
    YearFigures f;
    f.year = year;
    const std::vector<ledger::MonthSum> sums = books.monthSums(year);
    for (int m = 1; m <= 12; ++m) {
        const QString key = QString::number(m);
        std::optional<ledger::SumFigures> s;
        for (const ledger::MonthSum &ms : sums)
            if (ms.period.month == key)
                s = ms.figures;
        f.months.push_back(rowOf(monthName(m), key, s));
    }
    f.total = books.yearSum(year);
    return f;
}

std::vector<PeriodRow> yearsFigures(const ledger::Books &books)
{
    std::vector<PeriodRow> out;
    for (const QString &y : books.years())
        out.push_back(rowOf(y, y, books.yearSum(y)));
    return out;
}

PlanFigures planFigures(const MonthFigures &month, const ledger::BudgetPlan &plan)
{
    PlanFigures f;
    f.period = month.period;
    f.everyMonth = plan.everyMonth(month.period.year);
    f.ownMonth = plan.ownMonth(month.period);
    const ledger::PlanAmounts holds = plan.forMonth(month.period);
    for (int c = 0; c < int(Categories.size()); ++c) {
        PlanLine l;
        l.category = c;
        l.planned = holds[std::size_t(c)];
        l.actual = month.sum.amounts[std::size_t(c)];
        if (l.planned) {
            l.left = *l.planned - l.actual;
            if (*l.planned > Tolerance)
                l.used = l.actual / *l.planned * 100.0;
            l.over = isSpending(c) && l.actual - *l.planned > Tolerance;
        }
        f.lines.push_back(l);
    }
    return f;
}

std::vector<int> newlyOver(const PlanFigures &before, const PlanFigures &after)
{
    std::vector<int> out;
    for (std::size_t i = 0; i < after.lines.size(); ++i)
        if (after.lines[i].over && !(i < before.lines.size() && before.lines[i].over))
            out.push_back(after.lines[i].category);
    return out;
}

QString overPlanHint(const PlanFigures &figures, const std::vector<int> &categories)
{
    QStringList parts;
    for (const int c : categories)
        for (const PlanLine &l : figures.lines)
            if (l.category == c && l.planned)
                parts << QStringLiteral("%1 (wydano %2 z planowanych %3)")
                             .arg(categoryLabel(c), money(l.actual), money(*l.planned));
    if (parts.isEmpty())
        return {};
    return QStringLiteral("Przekroczony plan na %1: %2")
        .arg(periodTitle(figures.period), parts.join(QStringLiteral(", ")));
}

QString OverPlanWatch::afterBooking(ledger::Books &books, const Period &period)
{
    PlanFigures now = planFigures(monthFigures(books, period), plan_.read(books));
    const bool sameMonth = last_ && last_->period == period;
    const std::vector<int> over = sameMonth ? newlyOver(*last_, now) : std::vector<int>{};
    last_ = std::move(now);
    return overPlanHint(*last_, over);
}

FigureTable monthTable(const MonthFigures &figures)
{
    FigureTable t;
    t.header = {QStringLiteral("Kategoria"), QStringLiteral("Kwota"), QStringLiteral("Udział")};
    t.numeric = {false, true, true};
    for (const CategoryShare &s : figures.expenses) {
        t.rows << QStringList{categoryLabel(s.category), money(s.amount), percentOrDash(s.share)};
        t.alert << false;
    }
    return t;
}

FigureTable summaryTable(const MonthFigures &figures)
{
    FigureTable t;
    t.header = {QString(), QStringLiteral("Kwota")};
    t.numeric = {false, true};
    const ledger::SumFigures &s = figures.sum;
    const auto add = [&](const QString &title, double v, bool alert) {
        t.rows << QStringList{title, money(v)};
        t.alert << alert;
    };
    for (int c = 0; c < IncomeKinds; ++c)
        add(categoryLabel(c), s.amounts[std::size_t(c)], false);
    add(QStringLiteral("Dochód"), s.income, false);
    add(QStringLiteral("Wydatki"), s.expenses, false);
    add(QStringLiteral("Budżet"), s.budget, s.budget < -Tolerance);
    return t;
}

FigureTable yearTable(const YearFigures &figures)
{
    std::vector<PeriodRow> rows = figures.months;
    rows.push_back(rowOf(QStringLiteral("Rok %1").arg(figures.year), figures.year, figures.total));
    return periodTable(QStringLiteral("Miesiąc"), rows);
}

FigureTable yearsTable(const std::vector<PeriodRow> &years)
{
    return periodTable(QStringLiteral("Rok"), years);
}

FigureTable planTable(const PlanFigures &figures)
{
    FigureTable t;
    t.header = {QStringLiteral("Kategoria"), QStringLiteral("Plan"), QStringLiteral("Wykonanie"),
                QStringLiteral("Zostało"), QStringLiteral("Procent")};
    t.numeric = {false, true, true, true, true};
    for (const PlanLine &l : figures.lines) {
        t.rows << QStringList{categoryLabel(l.category), moneyOrDash(l.planned), money(l.actual),
                              moneyOrDash(l.left), percentOrDash(l.used)};
        t.alert << l.over;
    }
    return t;
}

FigureTable analysisTable(const MonthFigures &month, const PlanFigures &plan)
{
    FigureTable t;
    t.header = {QStringLiteral("Kategoria"), QStringLiteral("Kwota"), QStringLiteral("Udział"),
                QStringLiteral("Plan"), QStringLiteral("Zostało")};
    t.numeric = {false, true, true, true, true};
    for (const PlanLine &l : plan.lines) {
        std::optional<double> share;
        for (const CategoryShare &s : month.expenses)
            if (s.category == l.category)
                share = s.share;
        t.rows << QStringList{categoryLabel(l.category), money(l.actual),
                              isExpense(l.category) ? percentOrDash(share) : QString(),
                              moneyOrDash(l.planned), moneyOrDash(l.left)};
        t.alert << l.over;
    }
    return t;
}

QString plainText(const FigureTable &table)
{
    QList<QStringList> lines;
    lines << table.header;
    lines << table.rows;
    QList<int> widths(table.header.size(), 0);
    for (const QStringList &row : lines)
        for (int c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], int(row[c].size()));
    QString out;
    for (const QStringList &row : lines) {
        QString line;
        for (int c = 0; c < widths.size(); ++c) {
            const QString cell = row.value(c);
            if (c > 0)
                line += QStringLiteral("  ");
            const bool right = table.numeric.value(c);
            line += right ? cell.rightJustified(widths[c]) : cell.leftJustified(widths[c]);
        }
        // A non-breaking space inside an amount stays; trailing padding does not.
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out += line + QLatin1Char('\n');
    }
    return out;
}

} // namespace kw::analysis
