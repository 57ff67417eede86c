#pragma once

// Day tables of a given size for benchmarks, written once into a cache folder and reused:
// one period every 30 records, 260 bytes a record like the supplied table. Also what every
// benchmark of the tables measures against: a streaming read of the file, the resident memory
// and the bytes the process has read.
#include "ledger/DbfFile.h"
#include "ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace kwbench {

inline constexpr int DaysPerPeriod = 30;

// Where a generated day entry belongs.
struct DayPlace
{
    QString month;
    QString year;
    int day;
};

// The periods run month by month from January 1900, 30 entries to a period.
inline DayPlace regularPlace(int i)
{
    const int period = i / DaysPerPeriod;
    return {QString::number(period % 12 + 1), QString::number(1900 + period / 12), i % DaysPerPeriod + 1};
}

// Appends `count` records after the ones the table holds, built by fill(file, record, i) on a
// blank record, written in large chunks; the record count in the header follows.
template <class Fill> void appendRecords(const QString &path, int count, Fill &&fill)
{
    auto f = kw::DbfFile::open(path);
    const std::uint32_t before = f->recordCount();
    std::string rec = f->blankRecord();
    std::string chunk;
    const std::size_t chunkBytes = std::size_t(f->recordLength()) * 4096;
    chunk.reserve(chunkBytes + 1);
    QFile out(path);
    if (!out.open(QIODevice::ReadWrite) || !out.seek(f->recordOffset(before)))
        throw std::runtime_error("cannot write a benchmark table");
    for (int i = 0; i < count; ++i) {
        std::memset(rec.data(), ' ', rec.size());
        fill(*f, rec.data(), i);
        chunk += rec;
        if (chunk.size() >= chunkBytes) {
            out.write(chunk.data(), qint64(chunk.size()));
            chunk.clear();
        }
    }
    chunk.push_back('\x1A');
    out.write(chunk.data(), qint64(chunk.size()));
    const std::uint32_t n = before + std::uint32_t(count);
    out.seek(4);
    out.write(reinterpret_cast<const char *>(&n), 4);
}

// Day entries numbered on from `first`, placed by where(i); each category holds (i % 977) * 1.25.
template <class Where> void appendDayEntries(const QString &path, int first, int count, Where &&where)
{
    int month = -1, year = -1, day = -1, date = -1, note = -1;
    std::vector<int> amounts;
    appendRecords(path, count, [&](const kw::DbfFile &f, char *rec, int n) {
        if (amounts.empty()) {
            const auto fi = [&](const char *name) { return f.fieldIndex(QString::fromLatin1(name)); };
            month = fi("MIESIAC"), year = fi("ROK"), day = fi("DZIEN"), date = fi("DATA"), note = fi("UWAGI");
            for (const auto &c : kw::ledger::Categories)
                amounts.push_back(fi(c.day));
        }
        const int i = first + n;
        const DayPlace p = where(i);
        f.encode(rec, month, p.month);
        f.encode(rec, year, p.year);
        f.encode(rec, day, double(p.day));
        for (const int a : amounts)
            f.encode(rec, a, double(i % 977) * 1.25);
        f.encode(rec, date, QDate(2004, 3, 5));
        f.encode(rec, note, QStringLiteral("Zakupy nr %1").arg(i));
    });
}

inline QString bigTableDir(int records)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("kwotnik-bench-%1").arg(records));
    const QString day = QDir(dir).filePath(kw::ledger::DayFile);
    if (QFileInfo(day).size() > std::int64_t(records) * 260)
        return dir;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    kw::ledger::createEmptyTables(dir);
    appendDayEntries(day, 0, records, regularPlace);
    return dir;
}

// The period in the middle of the table.
inline std::pair<QString, QString> middlePeriod(int records)
{
    const DayPlace p = regularPlace(records / 2);
    return {p.month, p.year};
}

inline long residentKiB()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Every byte the process has asked the kernel for so far (read and pread alike, page cache or
// not); -1 when the kernel does not tell.
inline long long bytesReadSoFar()
{
    long long n = -1;
    if (FILE *f = std::fopen("/proc/self/io", "r")) {
        if (std::fscanf(f, "rchar: %lld", &n) != 1)
            n = -1;
        std::fclose(f);
    }
    return n;
}

// The whole file through one reused 1 MiB buffer: the least any reader of the file pays.
inline std::size_t streamRead(const QByteArray &path, std::vector<char> &buf)
{
    buf.resize(1 << 20);
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        throw std::runtime_error("cannot read a benchmark table");
    std::size_t total = 0;
    for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) > 0;)
        total += std::size_t(n);
    ::close(fd);
    return total;
}

} // namespace kwbench
