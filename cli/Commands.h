#pragma once

// The companion's commands, one source file per group; each returns an exit status of CommandLine.h.

#include "cli/CommandLine.h"

#include <optional>

namespace kw::statements {
struct StatementRequest;
}

namespace kw::cli {

// LedgerCommands.cpp: the supplied empty tables, a table as CSV, the sums recounted.
int runInit(const Invocation &call);
int runDump(const Invocation &call);
int runVerify(const Invocation &call);

// BackupCommands.cpp: dated copies of the data folder, and putting one back.
int runBackup(const Invocation &call);
int runRestore(const Invocation &call);

// AnalysisCommand.cpp: a month's expenses, shares, plan and what is left, as text.
int runAnalysis(const Invocation &call);

// StatementCommand.cpp: a statement written as PDF.
int runStatement(const Invocation &call);

// ExportCommand.cpp: the books out to a spreadsheet file.
int runExport(const Invocation &call);

// ImportCommand.cpp: a bank statement booked by the import's rules, or only summed up (--dry-run).
int runImport(const Invocation &call);

// The statement's arguments (after "statement", --dir already taken out). On a mistake returns
// nothing and puts a message that names the wrong argument and says what to write into `error`.
std::optional<kw::statements::StatementRequest>
parseStatementArguments(const QStringList &args, const QString &directory, QString *error);
// The month text as the ledger stores it ("1" to "12"), or nothing when the text is not a month.
std::optional<QString> canonicalMonth(const QString &text);

} // namespace kw::cli
