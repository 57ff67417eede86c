#pragma once

// Ledgers for the statement benchmarks, written straight into the supplied empty tables and kept
// in a cache folder between runs: a 31-day month, a 12-month year, 100 years, and a 1,000,000-record
// day table in which one month holds 10,000 day entries spread over the whole file.
#include "bench/BigTables.h"
#include "ledger/DbfFile.h"
#include "ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <string>

namespace kwbench {

// The period every statement benchmark reads.
inline const QString Month = QStringLiteral("6");
inline const QString Year = QStringLiteral("2004");

inline int field(const kw::DbfFile &f, const char *name)
{
    return f.fieldIndex(QString::fromLatin1(name));
}

inline void fillAmounts(kw::DbfFile &f, char *rec, int which, int i)
{
    for (const auto &c : kw::ledger::Categories) {
        const char *name = which == 0 ? c.day : which == 1 ? c.month : c.year;
        f.encode(rec, field(f, name), double((i * 37) % 977) * 1.25);
    }
}

// A ledger directory: `days` day records of which every `stride`-th belongs to the benchmark's
// month (all of them when stride is 1), `months` month sums of its year, `years` year sums.
inline QString statementLedger(const QString &name, int days, int stride, int months, int years)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("kwotnik-bench-statement-") + name);
    const QString done = QDir(dir).filePath(QStringLiteral("complete"));
    if (QFileInfo::exists(done))
        return dir;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    kw::ledger::createEmptyTables(dir);
    const QDir d(dir);
    appendRecords(d.filePath(kw::ledger::DayFile), days, [&](kw::DbfFile &f, char *rec, int i) {
        const bool ours = i % stride == 0;
        const int other = i / 30;
        f.encode(rec, field(f, "MIESIAC"), ours ? Month : QString::number(other % 12 + 1));
        f.encode(rec, field(f, "ROK"), ours ? Year : QString::number(1900 + other / 12 % 100));
        f.encode(rec, field(f, "DZIEN"), double(i % 31 + 1));
        fillAmounts(f, rec, 0, i);
        f.encode(rec, field(f, "DATA"), QDate(2004, 6, i % 30 + 1));
        f.encode(rec, field(f, "UWAGI"), QStringLiteral("Zakupy nr %1").arg(i));
    });
    appendRecords(d.filePath(kw::ledger::MonthFile), months, [&](kw::DbfFile &f, char *rec, int i) {
        // The benchmark's month is stored last, so the footer's sum is found at the end.
        f.encode(rec, field(f, "ID"), double(i + 1));
        f.encode(rec, field(f, "SMIESIAC"), i == months - 1 ? Month : QString::number(i % 12 + 1));
        f.encode(rec, field(f, "SROK"), Year);
        fillAmounts(f, rec, 1, i);
        for (const char *derived : {"DOCHOD", "WYDATKI", "ROZNICA"})
            f.encode(rec, field(f, derived), 1234.5);
    });
    appendRecords(d.filePath(kw::ledger::YearFile), years, [&](kw::DbfFile &f, char *rec, int i) {
        f.encode(rec, field(f, "ID"), double(i + 1));
        f.encode(rec, field(f, "RROK"), i == years - 1 ? Year : QString::number(1900 + i));
        fillAmounts(f, rec, 2, i);
        for (const char *derived : {"RDOCHOD", "RWYDATKI", "RROZNICA"})
            f.encode(rec, field(f, derived), 4321.5);
    });
    QFile mark(done);
    mark.open(QIODevice::WriteOnly);
    return dir;
}

inline QString smallLedger()
{
    return statementLedger(QStringLiteral("small"), 31, 1, 12, 100);
}
inline QString bigLedger()
{
    return statementLedger(QStringLiteral("big"), 1000000, 100, 12, 100);
}

} // namespace kwbench
