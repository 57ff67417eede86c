#pragma once

// The books taken out to a spreadsheet: the day entries, the month sums and the year sums of one
// month, one year or every year, as an XLSX workbook or as CSV the way a Polish spreadsheet reads
// it. The window and the companion share this; no widgets here.
//
//     const Scope march = Scope::ofMonth(Period::of(3, 2024));
//     const Exported n = exportBooks(books, march, "/home/ala/marzec.xlsx"); // throws EngineError
//
// The workbook holds three sheets: "Wpisy" (one row per day entry, in the order of the days),
// "Miesiące" (the month sums) and "Lata" (the year sums), amounts as numbers and the entry date as
// a date. The CSV holds the rows of "Wpisy" alone.

#include "ledger/Books.h"

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace kw::sheets {

enum class Format
{
    Xlsx,
    Csv
};

// The format a file name asks for by its extension (".xlsx", ".csv", any letter case), or nothing.
std::optional<Format> formatOf(const QString &path);

// What is exported: every year, one year, or one month of a year, by the texts the files carry.
struct Scope
{
    QString year;  // empty: every year
    QString month; // empty: the whole year (or every year)

    static Scope everything() { return {}; }
    static Scope ofYear(const QString &year) { return {year, {}}; }
    static Scope ofMonth(const ledger::Period &p) { return {p.year, p.month}; }
    // In Polish, for messages: "marzec 2024", "rok 2024", "wszystkie lata".
    QString describe() const;
};

// How many rows of each kind went out.
struct Exported
{
    qint64 days = 0;
    qint64 months = 0;
    qint64 years = 0;
    bool empty() const { return days == 0 && months == 0 && years == 0; }
};
// In Polish, as the window and the companion report it: "2 wpisy, 2 sumy miesięcy, 1 suma roku"
// (a CSV holds the day entries alone: "2 wpisy").
QString describe(const Exported &n, Format format);

// The sheets' column titles: the day entries' (the day list's labels, with the year, the month and
// the entry date), and the month or year sums' (the year, for month sums the month, then the ten
// totals with the income after the income kinds and the expenses and the budget at the end).
QStringList dayColumns();
QStringList sumColumns(ledger::Level level);

// The rows of the scope, in the order they are written; each visitor returns false to stop.
void forEachDay(const ledger::Books &books, const Scope &scope,
                const std::function<bool(const ledger::DayEntry &)> &fn);
std::vector<ledger::MonthSum> monthSums(const ledger::Books &books, const Scope &scope);
std::vector<std::pair<QString, ledger::SumFigures>> yearSums(const ledger::Books &books, const Scope &scope);

// The day entries as CSV: UTF-8 with a byte order mark, ';' between fields, a decimal comma,
// dates as RRRR-MM-DD, CRLF between rows. Stops writing at the first write the device refuses;
// the device tells why (the output file's commit does).
qint64 writeCsv(const ledger::Books &books, const Scope &scope, QIODevice &out);

// The workbook, written to the file at `path` (created or replaced; the caller sees to it that it
// may be). Throws EngineError naming `shownPath` when it cannot be written, or when a sheet would
// hold more rows than a workbook can.
Exported writeXlsx(const ledger::Books &books, const Scope &scope, const QString &path,
                   const QString &shownPath = QString());

// Why the export must not write `path`, naming the file and saying what to do; empty when it may:
// an extension that is neither .xlsx nor .csv, or a target the output-file rules refuse.
QString refusal(const ledger::Books &books, const QString &path);

// The export as the window and the companion run it: the format from the file's extension, the
// target checked as every file the program writes for the user is (never one of the data folder's
// own files, a file of another kind, a file the user may not change or anything but a regular
// file), written beside it and put in its place only when whole. A scope with neither day entries
// nor sums is refused. Throws EngineError naming the file; a refused or failed export leaves the
// target as it was and no file of its own behind.
Exported exportBooks(const ledger::Books &books, const Scope &scope, const QString &path);

// Amount text of the CSV: decimal comma, the stored four decimals at most and two at least, no
// grouping ("1234,50", "-0,1234", "0,00").
QString csvAmount(double value);
// One CSV field, quoted when it holds ';', '"' or a line break.
QString csvField(const QString &text);

} // namespace kw::sheets
