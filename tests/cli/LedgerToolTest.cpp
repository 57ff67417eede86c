// kwotnik-ledger init: a missing folder is made, private, and the tables in it are private too,
// whatever the umask; a folder it cannot make is named; --help is no error.
#include "ledger/EngineError.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct ToolRun
{
    int code = -1;
    QString out;
    QString err;
};

ToolRun tool(const QStringList &args, mode_t umaskValue = 022)
{
    // The umask is inherited: set it for the child, then put ours back.
    const mode_t before = ::umask(umaskValue);
    QProcess p;
    p.start(QStringLiteral(KW_LEDGER_TOOL), args);
    const bool finished = p.waitForFinished(30000);
    ::umask(before);
    EXPECT_TRUE(finished);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

int mode(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

} // namespace

TEST(LedgerTool, InitMakesTheMissingFoldersPrivateWhateverTheUmask)
{
    for (const mode_t u : {mode_t(0), mode_t(022), mode_t(0277)}) {
        QTemporaryDir tmp;
        ASSERT_TRUE(tmp.isValid());
        const int parentMode = mode(tmp.path());
        const QString target = tmp.filePath(QStringLiteral("dom/rachunki/2004"));
        const ToolRun r = tool({QStringLiteral("init"), target}, u);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        for (const char *folder : {"dom", "dom/rachunki", "dom/rachunki/2004"})
            EXPECT_EQ(mode(tmp.filePath(QString::fromLatin1(folder))), 0700) << folder << " umask " << u;
        EXPECT_EQ(mode(tmp.path()), parentMode) << "a folder that was there keeps its mode";
        for (const QString &table : {kw::ledger::DayFile, kw::ledger::MonthFile, kw::ledger::YearFile})
            EXPECT_EQ(mode(QDir(target).filePath(table)), 0600) << table.toStdString() << " umask " << u;
    }
}

TEST(LedgerTool, InitIntoAnExistingFolderLeavesItsModeAndStillWritesPrivateTables)
{
    QTemporaryDir tmp;
    ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()).constData(), 0755), 0);
    const ToolRun r = tool({QStringLiteral("init"), tmp.path()}, 0);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(mode(tmp.path()), 0755);
    EXPECT_EQ(mode(tmp.filePath(kw::ledger::DayFile)), 0600);
    // A second init refuses and names the folder.
    const ToolRun again = tool({QStringLiteral("init"), tmp.path()});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(tmp.path())) << again.err.toStdString();
}

TEST(LedgerTool, AFolderThatCannotBeMadeIsNamed)
{
    QTemporaryDir tmp;
    QFile blocker(tmp.filePath(QStringLiteral("plik")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString target = tmp.filePath(QStringLiteral("plik/dane"));
    const ToolRun r = tool({QStringLiteral("init"), target});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("nie można utworzyć folderu"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(tmp.filePath(QStringLiteral("plik")))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(kw::ledger::DayFile)) << "the folder is the fault, not a table";
    EXPECT_FALSE(QFileInfo::exists(target));

    // A path that is a file, not a folder.
    const ToolRun file = tool({QStringLiteral("init"), blocker.fileName()});
    EXPECT_EQ(file.code, 1);
    EXPECT_TRUE(file.err.contains(QStringLiteral("nie jest folderem"))) << file.err.toStdString();
}

TEST(LedgerTool, HelpIsUsageOnStandardOutputAndSuccess)
{
    for (const char *flag : {"--help", "-h"}) {
        const ToolRun r = tool({QString::fromLatin1(flag)});
        EXPECT_EQ(r.code, 0) << flag;
        EXPECT_TRUE(r.out.startsWith(QStringLiteral("użycie: kwotnik-ledger"))) << r.out.toStdString();
        EXPECT_TRUE(r.err.isEmpty());
    }
    const ToolRun wrong = tool({QStringLiteral("nonsense")});
    EXPECT_EQ(wrong.code, 2);
    EXPECT_TRUE(wrong.err.startsWith(QStringLiteral("użycie:")));
    EXPECT_TRUE(wrong.out.isEmpty());
}

// The check of a folder fails with the engine's own error type, so every caller that reports
// engine errors reports these too, naming the file and what is missing.
TEST(LedgerVerify, AMissingTableOrFieldIsAnEngineErrorThatNamesIt)
{
    QTemporaryDir dir;
    try {
        kw::ledger::verifyLedger(dir.path());
        FAIL() << "a folder without tables passed";
    } catch (const kw::EngineError &e) {
        EXPECT_TRUE(e.message().contains(kw::ledger::DayFile)) << e.what();
    }
    kw::ledger::createEmptyTables(dir.path());
    EXPECT_TRUE(kw::ledger::verifyLedger(dir.path()).isEmpty());
    // A month-sum file without its budget field.
    std::vector<kw::DbfFieldSpec> fields = kw::ledger::monthFields();
    fields.pop_back();
    QFile::remove(QDir(dir.path()).filePath(kw::ledger::MonthFile));
    kw::DbfFile::create(QDir(dir.path()).filePath(kw::ledger::MonthFile), fields);
    try {
        kw::ledger::verifyLedger(dir.path());
        FAIL() << "a month sum without ROZNICA passed";
    } catch (const kw::EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("ROZNICA"))) << e.what();
    }
}
