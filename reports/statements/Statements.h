#pragma once

// The three statements (monthly, yearly, multi-year) as report definitions over tables, usable by
// the program's windows and by `kwotnik-ledger statement` alike: no widgets here.
#include "ledger/Period.h"
#include "ledger/Table.h"
#include "reports/engine/Report.h"
#include "reports/statements/TableSource.h"

#include <QString>
#include <memory>

namespace kw::statements {

enum class Statement
{
    Monthly,
    Yearly,
    MultiYear
};

// A statement to write to a file, as `kwotnik-ledger statement` is asked for it.
struct StatementRequest
{
    Statement kind;
    QString monthText; // monthly only, canonical ("3", never "03")
    QString yearText;  // monthly and yearly
    QString output;
    QString directory; // the data folder; empty: the working directory
};

QString statementTitle(Statement kind); // "Zestawienie miesięczne", ...
// What a statement's print job and PDF are called: the title and the period ("Zestawienie
// miesięczne 3/2024", "Zestawienie roczne 2024", "Zestawienie wieloletnie").
QString documentTitle(Statement kind, const QString &monthText, const QString &yearText);
// Shown in the preview's page area when the statement has no line.
QString emptyPreviewText(Statement kind);
// Why the companion wrote no file: "brak wpisów za ten okres", "brak zapisanych lat".
QString emptyReason(Statement kind);

// A period held as two texts, for statements made outside the month and year dialog.
class FixedPeriod : public kw::ledger::PeriodSource
{
public:
    FixedPeriod(QString month, QString year) : month_(std::move(month)), year_(std::move(year)) {}
    QString monthText() const override { return month_; }
    QString yearText() const override { return year_; }

private:
    QString month_, year_;
};

// The record filter of a statement's own table: month and year (monthly), the year of the month
// sums (yearly), none (multi-year).
kw::RecordFilter statementFilter(Statement kind, const kw::ledger::PeriodSource &period);

// Sets a table object up as the statement's own cursor: its file, in stored order, checked for
// the fields the program needs. The filter is left to the caller.
void setUpStatementTable(Statement kind, kw::Table &table);

// The tables a statement reads. `data` is the statement's own cursor, open with its filter on;
// the monthly statement's page footer reads the current record of `monthSum` and `yearSum`.
struct StatementTables
{
    kw::Table *data = nullptr;
    const kw::Table *monthSum = nullptr;
    const kw::Table *yearSum = nullptr;
};

// The month sum and the year sum of one period, each through a cursor of its own on its file,
// filtered to that period: what the monthly statement's page footer shows, whatever period the
// program has open meanwhile. The period must outlive the cursors.
struct PeriodSums
{
    std::unique_ptr<kw::Table> month, year;
};
PeriodSums openPeriodSums(const QString &directory, const kw::ledger::PeriodSource &period);

// A statement's tables for one period of the ledger in a directory, opened as the program opens
// them: the statement's cursor with its filter on and, for the monthly statement, the period's month
// sum and year sum as current records.
class PeriodTables
{
public:
    PeriodTables(Statement kind, const QString &directory, const QString &monthText, const QString &yearText);
    ~PeriodTables();
    PeriodTables(const PeriodTables &) = delete;
    PeriodTables &operator=(const PeriodTables &) = delete;
    StatementTables tables() const { return {data_.get(), sums_.month.get(), sums_.year.get()}; }

private:
    FixedPeriod period_;
    std::unique_ptr<kw::Table> data_;
    PeriodSums sums_;
};

// The statement's printed layout: bands, elements, fonts and texts. The report's own dataset is
// named "Table1"; the monthly statement's page footer reads the datasets "TableS" (month sum) and
// "Table4R" (year sum).
kw::report::ReportDefinition statementDefinition(Statement kind);

// A statement ready to lay out: the definition over the tables, with the record sources it reads
// (the tables stay the caller's and must outlive the report). The records it will print are checked
// first: a damaged number throws the engine's error naming the file and the record.
class StatementReport : public kw::report::Report
{
    Q_OBJECT
public:
    StatementReport(Statement kind, const StatementTables &tables, QObject *parent = nullptr);
    Statement kind() const { return kind_; }

private:
    Statement kind_;
    kw::report::TableSource data_, monthSum_, yearSum_;
};

// Lays the statement out and writes it as a PDF file. Returns the page count; with no page the
// file is not written (nor an existing one touched). A target that is a file of the data folder,
// or not a PDF, is refused with an EngineError (Refused) and left as it was.
int writeStatementPdf(Statement kind, const StatementTables &tables, const QString &path,
                      const QString &dataDirectory, const QString &title = QString());
int writeStatementPdf(const StatementRequest &request);

} // namespace kw::statements
