// The workbook through libxlsxwriter in its constant-memory mode: each row goes to the sheet's
// scratch file as soon as the next one starts, so a million day entries cost no more memory than
// ten. Rows must therefore be written in order, sheet by sheet, and nothing may go back to a row.
#include "export/SheetExport.h"
#include "ledger/EngineError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <xlsxwriter.h>

namespace kw::sheets {

namespace {

// A sheet holds at most this many rows; the first is the header.
constexpr qint64 MaxDataRows = LXW_ROW_MAX - 1;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString reasonOf(lxw_error e)
{
    switch (e) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return QStringLiteral("zabrakło pamięci");
    case LXW_ERROR_CREATING_XLSX_FILE:
        return QStringLiteral("nie można utworzyć pliku");
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
        return QStringLiteral("nie można zapisać ani odczytać plików roboczych obok niego");
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return QStringLiteral("zapis się nie powiódł (może brak miejsca na dysku)");
    default:
        break;
    }
    return QStringLiteral("błąd zapisu arkusza (%1)").arg(QString::fromUtf8(lxw_strerror(e)));
}

// The number format of amounts: the user's currency with two decimals. The cell keeps the number
// as stored (four decimals); only the display rounds.
QByteArray currencyFormat()
{
    const QLocale l;
    QString symbol = l.currencySymbol(QLocale::CurrencySymbol);
    if (symbol.isEmpty())
        return "#,##0.00";
    symbol.replace(QLatin1Char('"'), QString());
    // Where the symbol stands, and whether a space parts it from the number, as the locale shows 1.
    const QString sample = l.toCurrencyString(1.0);
    const bool before = sample.startsWith(symbol);
    const QString next = before                    ? sample.mid(symbol.size(), 1)
                         : sample.endsWith(symbol) ? sample.left(sample.size() - symbol.size()).right(1)
                                                   : QStringLiteral(" ");
    const bool spaced = !next.isEmpty() && !next.front().isDigit();
    const QString quoted = QLatin1Char('"') + symbol + QLatin1Char('"');
    const QString gap = spaced ? QStringLiteral("\\ ") : QString();
    return (before ? quoted + gap + QStringLiteral("#,##0.00") : QStringLiteral("#,##0.00") + gap + quoted)
        .toUtf8();
}

// A period's month or year text as a number when it is one as written ("3", "2024"); a text the
// user typed otherwise ("003" stays "003").
std::optional<double> plainNumber(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 0 || QString::number(n) != text)
        return std::nullopt;
    return double(n);
}

class Workbook
{
public:
    Workbook(const QString &path, const QString &shownPath) : shown_(shownPath.isEmpty() ? path : shownPath)
    {
        // The scratch files go beside the workbook, where its bytes will need room anyway, rather
        // than into a temporary folder that may be held in memory.
        tmpdir_ = QFile::encodeName(QFileInfo(path).absolutePath());
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tmpdir_.data();
        const QByteArray name = QFile::encodeName(path);
        wb_ = workbook_new_opt(name.constData(), &options);
        if (!wb_)
            fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
        header_ = workbook_add_format(wb_);
        format_set_bold(header_);
        format_set_bottom(header_, LXW_BORDER_THIN);
        format_set_bg_color(header_, 0xF0CAA6); // the colour of the main window's summary band
        format_set_align(header_, LXW_ALIGN_CENTER);
        // Every cell stands at the top of its row, level with a remark's first line.
        plain_ = workbook_add_format(wb_);
        format_set_align(plain_, LXW_ALIGN_VERTICAL_TOP);
        money_ = workbook_add_format(wb_);
        format_set_align(money_, LXW_ALIGN_VERTICAL_TOP);
        const QByteArray money = currencyFormat();
        format_set_num_format(money_, money.constData());
        date_ = workbook_add_format(wb_);
        format_set_num_format(date_, "yyyy-mm-dd");
        format_set_align(date_, LXW_ALIGN_CENTER);
        format_set_align(date_, LXW_ALIGN_VERTICAL_TOP);
        // A remark of several lines is shown as such, not run together into one.
        // A year or month kept as the text it was typed as ("003") stands where the numbers do.
        keyText_ = workbook_add_format(wb_);
        format_set_align(keyText_, LXW_ALIGN_RIGHT);
        format_set_align(keyText_, LXW_ALIGN_VERTICAL_TOP);
        lines_ = workbook_add_format(wb_);
        format_set_text_wrap(lines_);
        format_set_align(lines_, LXW_ALIGN_VERTICAL_TOP);
    }
    ~Workbook()
    {
        // A workbook dropped on an error is still closed, so its scratch files go; what it wrote
        // is the caller's temporary file, thrown away with it.
        if (wb_)
            workbook_close(wb_);
    }
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    lxw_worksheet *sheet(const char *name, const QStringList &columns)
    {
        lxw_worksheet *ws = workbook_add_worksheet(wb_, name);
        if (!ws)
            fail(LXW_ERROR_CREATING_TMPFILE);
        for (int c = 0; c < columns.size(); ++c)
            check(worksheet_write_string(ws, 0, lxw_col_t(c), columns[c].toUtf8().constData(), header_));
        worksheet_freeze_panes(ws, 1, 0);
        return ws;
    }

    void number(lxw_worksheet *ws, qint64 row, int col, double v, bool money)
    {
        check(worksheet_write_number(ws, lxw_row_t(row), lxw_col_t(col), v, money ? money_ : plain_));
    }
    void text(lxw_worksheet *ws, qint64 row, int col, const QString &t, lxw_format *format = nullptr)
    {
        if (!t.isEmpty())
            check(worksheet_write_string(ws, lxw_row_t(row), lxw_col_t(col), t.toUtf8().constData(),
                                         format                          ? format
                                         : t.contains(QLatin1Char('\n')) ? lines_
                                                                         : plain_));
    }
    // While the row is the one being written: this mode keeps no other.
    void height(lxw_worksheet *ws, qint64 row, double points)
    {
        check(worksheet_set_row(ws, lxw_row_t(row), points, nullptr));
    }
    // A month or year text: a number when it reads as one, else the text.
    void key(lxw_worksheet *ws, qint64 row, int col, const QString &t)
    {
        if (const auto n = plainNumber(t))
            number(ws, row, col, *n, false);
        else
            text(ws, row, col, t, keyText_);
    }
    void date(lxw_worksheet *ws, qint64 row, int col, const QDate &d)
    {
        if (!d.isValid())
            return;
        // A sheet's dates start in 1900; an earlier one is kept as its text.
        if (d.year() < 1900 || d.year() > 9999) {
            text(ws, row, col, d.toString(Qt::ISODate), date_);
            return;
        }
        lxw_datetime dt{d.year(), d.month(), d.day(), 0, 0, 0};
        check(worksheet_write_datetime(ws, lxw_row_t(row), lxw_col_t(col), &dt, date_));
    }
    void sums(lxw_worksheet *ws, qint64 row, int col, const ledger::SumFigures &f)
    {
        for (int i = 0; i < int(f.amounts.size()); ++i) {
            if (i == ledger::IncomeKinds)
                number(ws, row, col++, f.income, true);
            number(ws, row, col++, f.amounts[std::size_t(i)], true);
        }
        number(ws, row, col++, f.expenses, true);
        number(ws, row, col, f.budget, true);
    }

    // The filter buttons over the header, down to the last row; the columns' widths; printed
    // across the page, one page wide, the header on every page.
    void finish(lxw_worksheet *ws, qint64 rows, const QStringList &columns)
    {
        worksheet_autofilter(ws, 0, 0, lxw_row_t(rows), lxw_col_t(columns.size() - 1));
        for (int c = 0; c < columns.size(); ++c) {
            const QString &t = columns[c];
            const double width = t == QStringLiteral("Uwagi")                                     ? 42
                                 : t == QStringLiteral("Data wpisu")                              ? 13
                                 : t == QStringLiteral("Rok")                                     ? 7
                                 : t == QStringLiteral("Miesiąc") || t == QStringLiteral("Dzień") ? 9
                                                                                                  : 14;
            worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), width, nullptr);
        }
        worksheet_set_landscape(ws);
        worksheet_set_paper(ws, 9); // A4
        worksheet_fit_to_pages(ws, 1, 0);
        worksheet_repeat_rows(ws, 0, 0);
    }

    void close()
    {
        lxw_workbook *wb = wb_;
        wb_ = nullptr;
        const lxw_error e = workbook_close(wb);
        if (e != LXW_NO_ERROR)
            fail(e);
    }

    [[noreturn]] void fail(lxw_error e) const
    {
        throw EngineError(QStringLiteral("Nie zapisano pliku „%1”: %2.").arg(shown(shown_), reasonOf(e)),
                          EngineError::Kind::WriteFailed);
    }
    void check(lxw_error e) const
    {
        if (e != LXW_NO_ERROR)
            fail(e);
    }

private:
    QString shown_;
    QByteArray tmpdir_;
    lxw_workbook *wb_ = nullptr;
    lxw_format *header_ = nullptr, *money_ = nullptr, *date_ = nullptr, *lines_ = nullptr, *plain_ = nullptr,
               *keyText_ = nullptr;
};

} // namespace

Exported writeXlsx(const ledger::Books &books, const Scope &scope, const QString &path,
                   const QString &shownPath)
{
    Workbook wb(path, shownPath);
    const QStringList dayCols = dayColumns(), monthCols = sumColumns(ledger::Level::Month),
                      yearCols = sumColumns(ledger::Level::Year);
    // Every sheet is made before any row: in this mode a sheet is written as it goes.
    lxw_worksheet *days = wb.sheet("Wpisy", dayCols);
    lxw_worksheet *months = wb.sheet("Miesiące", monthCols);
    lxw_worksheet *years = wb.sheet("Lata", yearCols);

    Exported n;
    bool tooMany = false;
    forEachDay(books, scope, [&](const ledger::DayEntry &e) {
        if (n.days == MaxDataRows) {
            tooMany = true;
            return false;
        }
        const qint64 row = ++n.days;
        int col = 0;
        wb.key(days, row, col++, e.ref.period.year);
        wb.key(days, row, col++, e.ref.period.month);
        wb.number(days, row, col++, e.ref.day, false);
        for (const double a : e.amounts)
            wb.number(days, row, col++, a, true);
        wb.date(days, row, col++, e.created);
        wb.text(days, row, col, e.remark);
        // Spreadsheets do not always grow a row for a wrapped text; tell them its height.
        if (const qsizetype breaks = e.remark.count(QLatin1Char('\n')))
            wb.height(days, row, double(breaks + 1) * 15);
        return true;
    });
    if (tooMany)
        throw EngineError(
            QStringLiteral("Nie zapisano pliku „%1”: arkusz XLSX mieści najwyżej %2 wpisów, a tych "
                           "jest więcej. Wyeksportuj każdy rok osobno albo wybierz format CSV.")
                .arg(shown(shownPath.isEmpty() ? path : shownPath))
                .arg(MaxDataRows),
            EngineError::Kind::General);
    wb.finish(days, n.days, dayCols);

    for (const ledger::MonthSum &m : monthSums(books, scope)) {
        const qint64 row = ++n.months;
        wb.key(months, row, 0, m.period.year);
        wb.key(months, row, 1, m.period.month);
        wb.sums(months, row, 2, m.figures);
    }
    wb.finish(months, n.months, monthCols);

    for (const auto &[year, figures] : yearSums(books, scope)) {
        const qint64 row = ++n.years;
        wb.key(years, row, 0, year);
        wb.sums(years, row, 1, figures);
    }
    wb.finish(years, n.years, yearCols);

    wb.close();
    return n;
}

} // namespace kw::sheets
