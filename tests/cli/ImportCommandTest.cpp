// kwotnik-ledger import: books a statement and sums it up (exit 0, also when everything was booked
// before), --dry-run writes nothing, a refused file names its line and writes nothing (exit 1), a
// folder the program holds is refused (exit 1), wrong usage (exit 2); init writes the import's files.
#include "import/Rules.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"
#include "ledger/OperationsTable.h"
#include "ledger/WorkLock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kl = kw::ledger;

namespace {

struct ToolRun
{
    int code = -1;
    QString out;
    QString err;
};

ToolRun tool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(KW_LEDGER_TOOL), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The folder's data files with their bytes (the lock file aside): "nothing written" means this
// stays equal.
QString snapshot(const QString &dir)
{
    QString all;
    const QStringList data{QStringLiteral("*.dbf"), QStringLiteral("*.DBF"), QStringLiteral("*.txt"),
                           QStringLiteral("*.jrn")};
    for (const QString &name : QDir(dir).entryList(data, QDir::Files, QDir::Name)) {
        QFile f(QDir(dir).filePath(name));
        f.open(QIODevice::ReadOnly);
        all += name + QLatin1Char('=') + QString::fromLatin1(f.readAll().toHex()) + QLatin1Char('\n');
    }
    return all;
}

QString write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

const char *Statement = ":20:S\n:25:/PL61109010140000071219812874\n:28C:1\n:60F:C240301PLN100,00\n"
                        ":61:2403010301DN20,00NTRFNONREF//A1\n:86:~20Zakupy~32Biedronka\n"
                        ":61:2403020302CN50,00NTRFNONREF//A2\n:86:~20Pensja~32ACME\n"
                        ":62F:C240302PLN130,00\n-\n";

} // namespace

TEST(ImportCommand, BooksOnceSumsUpAndKeepsTheExitStatusRule)
{
    QTemporaryDir tmp;
    const QString data = QDir(tmp.path()).filePath(QStringLiteral("dane"));
    const QString file = write(QDir(tmp.path()).filePath(QStringLiteral("marzec.sta")), Statement);
    ASSERT_EQ(tool({QStringLiteral("init"), data}).code, 0);
    EXPECT_TRUE(QFile::exists(QDir(data).filePath(kl::OperationsFile))) << "init writes the import's table";
    EXPECT_TRUE(QFile::exists(QDir(data).filePath(kw::import::RulesFile))) << "and its rules";

    const QString before = snapshot(data);
    const ToolRun trial =
        tool({QStringLiteral("import"), file, QStringLiteral("--dir"), data, QStringLiteral("--dry-run")});
    EXPECT_EQ(trial.code, 0) << trial.err.toStdString();
    EXPECT_TRUE(trial.out.contains(QStringLiteral("Do zaksięgowania: 2"))) << trial.out.toStdString();
    EXPECT_EQ(snapshot(data), before) << "--dry-run writes nothing";

    const ToolRun booked = tool({QStringLiteral("import"), QStringLiteral("--dir=") + data, file});
    EXPECT_EQ(booked.code, 0) << booked.err.toStdString();
    EXPECT_TRUE(booked.out.contains(QStringLiteral("Zaksięgowano: 2 (import nr 1)")))
        << booked.out.toStdString();
    EXPECT_TRUE(booked.out.contains(QStringLiteral("Żywność: 20,00")));
    EXPECT_TRUE(booked.out.contains(QStringLiteral("Przychód: 50,00")));
    EXPECT_TRUE(booked.out.contains(QStringLiteral("Saldo wyciągu 1: zgodne")));
    EXPECT_TRUE(kl::verifyLedger(data).isEmpty());

    const QString once = snapshot(data);
    const ToolRun again = tool({QStringLiteral("import"), file, QStringLiteral("--dir"), data});
    EXPECT_EQ(again.code, 0) << "everything already booked is done too";
    EXPECT_TRUE(again.out.contains(QStringLiteral("Pominięte jako już zaksięgowane: 2")))
        << again.out.toStdString();
    EXPECT_EQ(snapshot(data), once);

    // A broken statement: the file and the line named, nothing written.
    const QString broken = write(QDir(tmp.path()).filePath(QStringLiteral("zly.sta")),
                                 ":20:S\n:25:/1\n:60F:C240301PLN1,00\n:61:2403011X1,00NTRF//B\n");
    const ToolRun refused = tool({QStringLiteral("import"), broken, QStringLiteral("--dir"), data});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("„zly.sta”")) &&
                refused.err.contains(QStringLiteral("wierszu 4")))
        << refused.err.toStdString();
    EXPECT_EQ(snapshot(data), once);

    // A folder without the rules file: a refused statement does not write it either.
    const QString bare = QDir(tmp.path()).filePath(QStringLiteral("gole"));
    kl::createEmptyTables(bare);
    const QString bareBefore = snapshot(bare);
    EXPECT_EQ(tool({QStringLiteral("import"), broken, QStringLiteral("--dir"), bare}).code, 1);
    EXPECT_EQ(
        tool({QStringLiteral("import"), file, QStringLiteral("--dir"), bare, QStringLiteral("--dry-run")})
            .code,
        0);
    EXPECT_EQ(snapshot(bare), bareBefore);

    // The program holds the folder: refused, nothing written.
    {
        kw::WorkLock lock;
        ASSERT_TRUE(lock.acquire(bare));
        const ToolRun held = tool({QStringLiteral("import"), file, QStringLiteral("--dir"), bare});
        EXPECT_EQ(held.code, 1);
        EXPECT_TRUE(held.err.contains(QStringLiteral("otwarty"))) << held.err.toStdString();
    }
    EXPECT_EQ(snapshot(bare), bareBefore);

    for (const QStringList &wrong :
         {QStringList{QStringLiteral("import")},
          QStringList{QStringLiteral("import"), file, QStringLiteral("--dry")},
          QStringList{QStringLiteral("verify"), data, QStringLiteral("--dry-run")}})
        EXPECT_EQ(tool(wrong).code, 2) << wrong.join(' ').toStdString();
}
