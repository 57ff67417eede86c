#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kw::statements {

enum class Statement;

// What `kwotnik-ledger statement ...` was asked to do, once its arguments have been checked.
struct StatementRequest
{
    Statement kind;
    QString monthText; // monthly only, canonical ("3", never "03")
    QString yearText;  // monthly and yearly
    QString output;
    QString directory; // empty: the working directory
};

// Reads the arguments after "statement". On a mistake returns nothing and puts a message that
// names the wrong argument and says what to write into `error`.
std::optional<StatementRequest> parseStatementArguments(const QStringList &args, QString *error);

// The month text as the ledger stores it ("1" to "12"), or nothing when the text is not a month.
std::optional<QString> canonicalMonth(const QString &text);
// True for the year texts the month and year dialog accepts: 1 to 5 digits.
bool acceptableYear(const QString &text);

// The subcommand's whole run, with its own (headless) application object: exit 0 and the page
// count on stdout; 1 for an empty statement (no file written); 2 for bad arguments or an error.
int statementCommand(int argc, char **argv);

} // namespace kw::statements
