// kwotnik-ledger init: a missing folder is made, private, and the tables in it are private too,
// whatever the umask; a folder it cannot make is named; --help is no error. verify and dump: every
// number printed whole, every damaged one named.
#include "../ledger/TestTables.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <charconv>
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
        for (const QString &table :
             {kw::ledger::DayFile, kw::ledger::MonthFile, kw::ledger::YearFile, kw::ledger::PlanFile})
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

// Numbers at the edges of a double print whole (a 64-byte buffer once printed leftover stack bytes
// for 1e308); a number that is none ("nan", "inf", a field of '*') is named with its file, record and
// field by verify, which then leaves the sums it would take part in uncompared, and stops dump.
TEST(LedgerVerify, EveryDoublePrintsWholeAndDamagedNumbersAreNamed)
{
    kwtest::Ledger b;
    b.open("3", "2004");
    kw::ledger::addDay(b.t, 1, "3", "2004", QDate(2004, 3, 1));
    kw::ledger::addDay(b.t, 2, "3", "2004", QDate(2004, 3, 2));
    kw::ledger::closePeriod(b.t);
    const QString dayFile = b.file(kw::ledger::DayFile);
    kwtest::putFieldText(dayFile, 0, "PRZYCHOD", "1e308");
    kwtest::putFieldText(dayFile, 0, "KOSZT", "-1e308");
    kwtest::putFieldText(dayFile, 1, "INNE", "1e-320");
    // Fixed notation of 1e308 is its exact value: 309 digits that read back as the same double.
    const QString tiny = QStringLiteral("0.") + QString(319, QLatin1Char('0')) + QStringLiteral("1");
    const QStringList rows = kw::ledger::dumpTableCsv(dayFile).split(QLatin1Char('\n'));
    ASSERT_GE(rows.size(), 3);
    const QStringList first = rows[1].split(QLatin1Char(','));
    ASSERT_GE(first.size(), 5) << rows[1].toStdString();
    const QString big = first[3];
    EXPECT_EQ(big.size(), 309) << big.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^1[0-9]{308}$")).match(big).hasMatch())
        << big.toStdString();
    double back = 0;
    const std::string bigText = big.toStdString();
    std::from_chars(bigText.data(), bigText.data() + bigText.size(), back);
    EXPECT_EQ(back, 1e308);
    EXPECT_EQ(first[4], QStringLiteral("-") + big);
    EXPECT_TRUE(rows[2].contains(QStringLiteral(",%1,").arg(tiny))) << rows[2].toStdString();
    const QStringList problems = kw::ledger::verifyLedger(b.path());
    const QString all = problems.join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("a wpisy dzienne dają razem %1 (różnica -%1)").arg(big)))
        << all.toStdString();
    for (const QChar c : all)
        EXPECT_TRUE(c.isPrint() || c == QLatin1Char('\n')) << "junk in: " << all.toStdString();

    for (const char *damage : {"nan", "inf", "-inf", "*****", "12,50"}) {
        kwtest::putFieldText(dayFile, 1, "ZYWNOSC", damage);
        const QString named =
            QStringLiteral("Plik Wydatki.dbf jest uszkodzony: w rekordzie nr 2 pole ZYWNOSC "
                           "zawiera „%1”")
                .arg(QLatin1String(damage));
        const QStringList found = kw::ledger::verifyLedger(b.path());
        EXPECT_TRUE(found.join('\n').contains(named)) << found.join('\n').toStdString();
        EXPECT_TRUE(found.contains(QStringLiteral(
            "suma miesiąca 3/2004: nie porównano z wpisami dziennymi, bo liczby są uszkodzone (wyżej)")))
            << found.join('\n').toStdString();
        EXPECT_FALSE(found.join('\n').contains(QStringLiteral("ZYWNOSC wynosi")))
            << "no recount from a guess";
        try {
            kw::ledger::dumpTableCsv(dayFile);
            ADD_FAILURE() << "dump printed a damaged table: " << damage;
        } catch (const kw::EngineError &e) {
            EXPECT_TRUE(e.message().startsWith(named)) << e.what();
        }
    }
    // The companion says the same and fails (1); a damaged sum record is named too.
    kwtest::putFieldText(b.file(kw::ledger::MonthFile), 0, "SINNE", "nan");
    const ToolRun verify = tool({QStringLiteral("verify"), b.path()});
    EXPECT_EQ(verify.code, 1);
    EXPECT_TRUE(
        verify.out.contains(QStringLiteral("Plik Suma.dbf jest uszkodzony: w rekordzie nr 1 pole SINNE")))
        << verify.out.toStdString();
    const ToolRun dump = tool({QStringLiteral("dump"), dayFile});
    EXPECT_EQ(dump.code, 1);
    EXPECT_TRUE(dump.err.contains(QStringLiteral("w rekordzie nr 2 pole ZYWNOSC"))) << dump.err.toStdString();
}
