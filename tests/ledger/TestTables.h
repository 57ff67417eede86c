#pragma once

#include "RawFields.h"
#include "ledger/Booking.h"
#include "ledger/DbfFile.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Period.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <memory>
#include <gtest/gtest.h>

namespace kwtest {

using kw::Table;
using namespace kw::ledger;

// A fresh working directory holding the three empty ledger tables.
struct LedgerDir
{
    QTemporaryDir tmp;
    LedgerDir()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        kw::ledger::createEmptyTables(tmp.path());
    }
    // Works on tables that are already there (another process's directory).
    explicit LedgerDir(const QString &existing) : at(existing)
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    }
    QString at;
    QString path() const { return at.isEmpty() ? tmp.path() : at; }
    QString file(const QString &name) const { return QDir(path()).filePath(name); }
};

struct FixedPeriod : kw::ledger::PeriodSource
{
    QString month, year;
    FixedPeriod(QString m = QStringLiteral("3"), QString y = QStringLiteral("2004"))
        : month(std::move(m)), year(std::move(y))
    {}
    QString monthText() const override { return month; }
    QString yearText() const override { return year; }
};

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

inline void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

// The books of one working directory with the three tables a window shows them through, opened on
// a period like the program does.
struct Ledger : LedgerDir
{
    Table day, month, year;
    FixedPeriod period;
    LedgerTables t{&day, &month, &year};
    std::unique_ptr<kw::ledger::Books> books;
    std::unique_ptr<CursorBooks> cursors;

    Ledger() { setUp(); }
    explicit Ledger(const QString &existing) : LedgerDir(existing) { setUp(); }
    void setUp()
    {
        setUpDayTable(day);
        setUpMonthTable(month);
        setUpYearTable(year);
        for (Table *x : {&day, &month, &year})
            x->setDirectory(path());
        day.setOnFilterRecord(dayPeriodFilter(period));
        month.setOnFilterRecord(monthPeriodFilter(period));
        year.setOnFilterRecord(yearPeriodFilter(period));
        installRollupHooks(t);
        books = std::make_unique<kw::ledger::Books>(path());
        cursors = std::make_unique<CursorBooks>(*books, t);
    }
    // The books keep the tables' files open; a forked child that stands for another program must
    // open its own.
    void letGoOfFiles()
    {
        cursors.reset();
        books = std::make_unique<kw::ledger::Books>(path());
        cursors = std::make_unique<CursorBooks>(*books, t);
    }
    void open(const QString &m, const QString &y)
    {
        closePeriod(t);
        period.month = m;
        period.year = y;
        openPeriod(t, m, y);
    }
    int countRecords(const QString &file)
    {
        int n = 0;
        auto f = kw::DbfFile::open(this->file(file));
        f->scan([&](std::uint32_t, const char *r) {
            n += kw::DbfFile::isDeleted(r) ? 0 : 1;
            return true;
        });
        return n;
    }
    static AmountSet one(std::size_t i, double v)
    {
        AmountSet a{};
        a[i] = v;
        return a;
    }
};

} // namespace kwtest
