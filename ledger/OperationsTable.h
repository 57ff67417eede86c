#pragma once

#include "ledger/DbfFile.h"

#include <QDate>
#include <QString>
#include <vector>

namespace kw::ledger {

// Every bank transaction an import booked, one record each, in the data folder beside the three
// ledger tables: what it was, where it went, and which import brought it (so an import can be
// taken back and nothing is booked twice). The layout is written down here once.
inline const QString OperationsFile = QStringLiteral("Operacje.dbf");

struct OperationRecordFields
{
    const char *date;         // D: the day it was booked into
    const char *amount;       // N: signed as on the statement (credits positive)
    const char *currency;     // C: as the statement gives it
    const char *field;        // C: the day field it went into ("ZYWNOSC")
    const char *counterparty; // C
    const char *title;        // C
    const char *account;      // C: the counterparty's account
    const char *key;          // C: the bank's reference, or "#" and a digest when it had none
    const char *file;         // C: the statement's file name
    const char *import;       // N: the import's number, 1, 2, ...
    const char *booked;       // D: when the import was booked
    const char *newDay;       // L: the import created the day entry
    const char *remark;       // L: the import filled the day's empty remark
};
inline constexpr OperationRecordFields OperationRecord{
    "DATA",       "KWOTA", "WALUTA", "POLE",    "KONTRAHENT", "TYTUL", "RACHUNEK",
    "REFERENCJA", "PLIK",  "IMPORT", "ZAKSIEG", "NOWYDZIEN",  "UWAGI"};

const std::vector<DbfFieldSpec> &operationFields();
// Throws EngineError naming the file and the field when one of the layout's fields is missing or
// of another type.
void checkOperationsLayout(const DbfFile &file);

// What an operation added to its day field: income counts credits up, every other category (costs
// and expenses) counts debits up, so a refund comes off it.
inline double bookedValue(std::size_t category, double statementAmount)
{
    return category == 0 ? statementAmount : -statementAmount;
}

// Writes the empty table into the folder; refuses (EngineError) when it is there in any letter case.
void createOperationsTable(const QString &directory);
// Writes it when missing; true when it did.
bool ensureOperationsTable(const QString &directory);

} // namespace kw::ledger
