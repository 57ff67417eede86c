#pragma once

// An import from the statement to the books: the lines with their categories and the check against
// what earlier imports booked (the plan the review window shows), the booking of the whole plan as
// one change of the books, the list of imports and the undo of one.

#include "import/Rules.h"
#include "import/Transaction.h"

#include "ledger/LedgerSchema.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace kw::ledger {
class Books;
}

namespace kw::import {

using CategoryTotals = std::array<Amount, ledger::Categories.size()>;

// One statement line on its way into the books.
struct ImportLine
{
    Transaction t;
    int category = OtherCategory;
    int rule = -1;          // the rule that gave the category; -1 for the side's default
    bool refund = false;    // a credit in a category other than income
    bool duplicate = false; // an earlier import booked it (or it repeats an earlier line's reference)
    bool ticked = false;    // to be booked; never for duplicates and pending lines
    QString key;            // what tells it booked before: the bank's reference, or "#" and a digest

    bool bookable() const { return !duplicate && !t.pending; }
    // An amount in another currency than the ledger's złoty: shown, unticked until the user ticks it.
    bool foreign() const { return !t.currency.isEmpty() && t.currency != QLatin1String("PLN"); }
    // Sets the category as the user chose it; a credit outside income is then a refund.
    void setCategory(int c);
};

struct ImportPlan
{
    QString file; // the statement's path
    Statement statement;
    std::vector<ImportLine> lines;
    QStringList problems; // lines of the rules file that could not be read

    // The amounts the ticked lines add to each category (a refund subtracts).
    CategoryTotals totals() const;
    int tickedCount() const;
};

// The keys of the lines of a statement. A line without the bank's reference is known by a digest of
// its date, amount, account and text, and by how many equal lines came before it in the file, so two
// equal purchases on one day are two lines, and the same file read again gives the same keys.
QStringList lineKeys(const Statement &statement);

// The keys of every transaction the folder's imports booked; none when it has no operations table.
// Throws EngineError when the table cannot be read.
QSet<QString> bookedKeys(const QString &folder);

// The lines of the statement categorised by the rules, checked against what is booked: duplicates,
// pending lines and amounts in another currency unticked, the rest ticked.
ImportPlan planImport(const QString &file, const Statement &statement, const Rules &rules,
                      const QSet<QString> &booked);

// What the remark of a day gets when it is empty: the short names of the counterparties of the
// day's lines, comma-separated, cut to the remark's 50 characters.
QString remarkFor(const std::vector<const Transaction *> &lines);
// A counterparty's name without its legal form and shop numbers, at most three words
// ("BIEDRONKA SP Z O O 1234" gives "Biedronka").
QString shortName(const QString &counterparty);

struct ImportResult
{
    int number = 0; // 0: nothing was booked
    int booked = 0;
    int daysCreated = 0;
    CategoryTotals totals{};
};

// Books every ticked line as one change of the books: each into the day entry of its date (made as
// the new-day dialog makes it, with its period's sums, when missing), the day's empty remark filled,
// and every line recorded in the operations table (made when missing) under a new import number.
// Lines whose key is booked meanwhile are left out. All of it is stored, or (EngineError) none.
ImportResult bookImport(ledger::Books &books, const ImportPlan &plan, const QDateTime &now);

// One import as the undo list shows it.
struct ImportRecord
{
    int number = 0;
    QDate booked;
    QString file;
    int count = 0;
    Amount total = 0; // the lines' amounts as on the statement, credits positive
};
// The imports still in the folder's operations table, oldest first.
std::vector<ImportRecord> listImports(const QString &folder);

// Takes an import back as one change: its amounts out of the days and sums, its remark where the day
// still has it, a day it created removed when nothing else is left in it, its lines out of the
// operations table. Returns the number of lines taken back (0 when there is no such import).
int undoImport(ledger::Books &books, int number);

} // namespace kw::import
