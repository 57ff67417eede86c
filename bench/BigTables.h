#pragma once

// Day tables of a given size for benchmarks, written once into a cache folder and reused:
// one period every 30 records, 260 bytes a record like the supplied table.
#include "ledger/DbfFile.h"
#include "ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <string>

namespace kwbench {

inline constexpr int DaysPerPeriod = 30;

inline QString bigTableDir(int records)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("kwotnik-bench-%1").arg(records));
    const QString day = QDir(dir).filePath(kw::ledger::DayFile);
    if (QFileInfo(day).size() > std::int64_t(records) * 260)
        return dir;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    kw::ledger::createEmptyTables(dir);
    auto f = kw::DbfFile::open(day);
    std::string rec = f->blankRecord();
    std::string chunk;
    chunk.reserve(std::size_t(f->recordLength()) * 4096);
    const auto fi = [&](const char *n) { return f->fieldIndex(QString::fromLatin1(n)); };
    const int m = fi("MIESIAC"), y = fi("ROK"), d = fi("DZIEN"), date = fi("DATA"), note = fi("UWAGI");
    QFile out(day);
    out.open(QIODevice::ReadWrite);
    out.seek(f->headerLength());
    for (int i = 0; i < records; ++i) {
        const int period = i / DaysPerPeriod;
        f->encode(rec.data(), m, QString::number(period % 12 + 1));
        f->encode(rec.data(), y, QString::number(1900 + period / 12));
        f->encode(rec.data(), d, double(i % DaysPerPeriod + 1));
        for (const auto &c : kw::ledger::Categories)
            f->encode(rec.data(), f->fieldIndex(QString::fromLatin1(c.day)), double(i % 977) * 1.25);
        f->encode(rec.data(), date, QDate(2004, 3, 5));
        f->encode(rec.data(), note, QStringLiteral("Zakupy nr %1").arg(i));
        chunk += rec;
        if (chunk.size() >= std::size_t(f->recordLength()) * 4096) {
            out.write(chunk.data(), qint64(chunk.size()));
            chunk.clear();
        }
    }
    chunk.push_back('\x1A');
    out.write(chunk.data(), qint64(chunk.size()));
    const std::uint32_t n = std::uint32_t(records);
    out.seek(4);
    out.write(reinterpret_cast<const char *>(&n), 4);
    out.close();
    return dir;
}

// The period in the middle of the table.
inline std::pair<QString, QString> middlePeriod(int records)
{
    const int period = records / 2 / DaysPerPeriod;
    return {QString::number(period % 12 + 1), QString::number(1900 + period / 12)};
}

} // namespace kwbench
