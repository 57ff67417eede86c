#pragma once

#include "ledger/DbfFile.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Period.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kwtest {

// A fresh working directory holding the three empty ledger tables.
struct LedgerDir
{
    QTemporaryDir tmp;
    LedgerDir()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        kw::ledger::createEmptyTables(tmp.path());
    }
    QString path() const { return tmp.path(); }
    QString file(const QString &name) const { return QDir(tmp.path()).filePath(name); }
};

struct FixedPeriod : kw::ledger::PeriodSource
{
    QString month, year;
    FixedPeriod(QString m = QStringLiteral("3"), QString y = QStringLiteral("2004")) : month(std::move(m)), year(std::move(y)) {}
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

} // namespace kwtest
