#pragma once

#include "ledger/EngineError.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace kw {
class DbfFile;
class Table;
} // namespace kw

namespace kw::ledger {

// The one check of a damaged table, made by verify, dump and the statements before they use a
// record: every number of the record must be a number (a blank one is null and counts 0; one
// filled with '*', "nan", "inf" or any other text is damage). Empty when the record is sound; else a
// message that names the file, the record (counted from 1) and the field, and says what to do.
QString damagedNumber(const kw::DbfFile &file, std::uint32_t recno, const char *record);
// The same, thrown as an EngineError (Damaged) that tells what became of the change it stops.
void checkRecord(const kw::DbfFile &file, std::uint32_t recno, const char *record,
                 EngineError::Outcome outcome = EngineError::Outcome::NotSaid);
// Every record an open table shows (through its filter), checked; the table is left on its first
// record. Throws on the first damaged one.
void checkVisibleRecords(kw::Table &table);
// The current record of an open table, checked; nothing when there is none.
void checkCurrentRecord(const kw::Table &table);

// Recounts every month sum and year sum of the three tables in a directory from the day entries
// and checks the derived fields. Returns one line per problem; none when the books agree. A damaged
// number is a problem of its own, and the sums it would take part in are not compared.
QStringList verifyLedger(const QString &directory);

// Prints a table as CSV (UTF-8): the field names and DELETED, then one row per record in file order.
// A damaged number stops it with an EngineError naming the record.
QString dumpTableCsv(const QString &path);

} // namespace kw::ledger
