#pragma once

#include <QString>
#include <QStringList>

namespace kw::ledger {

// Recounts every month sum and year sum of the three tables in a directory from the day entries
// and checks the derived fields. Returns one line per problem; none when the books agree.
QStringList verifyLedger(const QString &directory);

// Prints a table as CSV (UTF-8): the field names and DELETED, then one row per record in file order.
QString dumpTableCsv(const QString &path);

} // namespace kw::ledger
