// The companion's one command line: options anywhere, --dir in both spellings, --help winning over
// any mistake, and the one exit-status rule (0 done, 1 refused or failed, 2 wrong usage) held by
// every command.
#include "cli/CommandLine.h"
#include "../ledger/TestTables.h"

#include <QProcess>

using kw::cli::parse;
using namespace kwtest;

namespace {

struct ToolOutcome
{
    int code = -1;
    QString out, err;
};

ToolOutcome tool(const QStringList &args, const QString &workingDir = QString())
{
    QProcess p;
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(QStringLiteral(KW_LEDGER_TOOL), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(CommandLine, OptionsAreReadAnywhereInBothSpellings)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    for (const QStringList &args : {QStringList{"statement", "--dir", d, "yearly", "2004", "r.pdf"},
                                    QStringList{"statement", "yearly", "2004", "r.pdf", "--dir=" + d},
                                    QStringList{"--dir", d, "statement", "yearly", "2004", "r.pdf"},
                                    QStringList{"statement", "yearly", "--dir=" + d, "2004", "r.pdf"}}) {
        const auto p = parse(args);
        ASSERT_TRUE(p.run) << args.join(' ').toStdString() << ": " << p.error.toStdString();
        EXPECT_EQ(p.run->command, QStringLiteral("statement"));
        EXPECT_EQ(p.run->args, QStringList({"yearly", "2004", "r.pdf"}));
        EXPECT_EQ(p.run->directory, d);
    }
    // After "--" nothing is an option: a file may be named "-h" or "--dir".
    const auto files = parse({"dump", "--", "-h"});
    ASSERT_TRUE(files.run) << files.error.toStdString();
    EXPECT_EQ(files.run->args, QStringList{"-h"});
    // A command that takes its folder as an argument takes it from --dir as well, never twice.
    const auto folder = parse({"verify", "--dir=" + d});
    ASSERT_TRUE(folder.run);
    EXPECT_EQ(folder.run->args, QStringList{d});
    EXPECT_EQ(parse({"restore", "--dir", d, "2024-03-01_120000"}).run->args,
              QStringList({d, "2024-03-01_120000"}));
    EXPECT_FALSE(parse({"verify", d, "--dir", d}).run);
}

TEST(CommandLine, HelpAnywhereWinsAndMistakesAreNamed)
{
    for (const QStringList &args : {QStringList{"--help"}, QStringList{"-h"}, QStringList{"statement", "-h"},
                                    QStringList{"nonsense", "--help"}, QStringList{"--dir", "--help"},
                                    QStringList{"statement", "monthly", "13", "x.pdf", "--bogus", "--help"}})
        EXPECT_TRUE(parse(args).help) << args.join(' ').toStdString();
    EXPECT_FALSE(parse({"dump", "--", "--help"}).help);

    struct Case
    {
        QStringList args;
        const char *says;
    };
    const QList<Case> cases = {
        {{}, "podaj polecenie"},
        {{"nonsense"}, "nieznane polecenie „nonsense”"},
        {{"dump", "--bogus", "x"}, "nieznana opcja „--bogus”"},
        {{"statement", "multiyear", "x.pdf", "--dir"}, "po --dir podaj katalog"},
        {{"statement", "multiyear", "x.pdf", "--dir="}, "po --dir podaj katalog"},
        {{"statement", "--dir=/a", "--dir=/b", "multiyear", "x.pdf"}, "więcej niż raz"},
        {{"statement", "multiyear", "x.pdf", "--dir", "/nonexistent/kwotnik"},
         "„/nonexistent/kwotnik” nie istnieje"},
        {{"dump", "--dir", "/tmp", "x.dbf"}, "nie przyjmuje --dir"},
        {{"dump"}, "za mało argumentów polecenia dump"},
        {{"restore", "a", "b", "c"}, "za dużo argumentów polecenia restore"},
    };
    for (const Case &c : cases) {
        const auto p = parse(c.args);
        EXPECT_FALSE(p.run) << c.args.join(' ').toStdString();
        EXPECT_TRUE(p.error.contains(QString::fromUtf8(c.says))) << p.error.toStdString();
    }
}

// Every command, done, refused or failed, and wrongly called: the exit status says which.
TEST(CommandLine, EveryCommandKeepsTheOneExitStatusRule)
{
    Ledger b;
    QTemporaryDir scratch;
    const QDir s(scratch.path());
    const QString noTables = s.filePath(QStringLiteral("puste"));
    s.mkdir(QStringLiteral("puste"));
    struct Case
    {
        QStringList args;
        int code;
    };
    const QList<Case> cases = {
        {{"init", s.filePath(QStringLiteral("nowe"))}, 0},
        {{"init", b.path()}, 1}, // the tables are there already
        {{"init"}, 2},
        {{"dump", b.file(DayFile)}, 0},
        {{"dump", s.filePath(QStringLiteral("brak.dbf"))}, 1},
        {{"dump", b.file(DayFile), b.file(MonthFile)}, 2},
        {{"verify", b.path()}, 0},
        {{"verify", "--dir=" + b.path()}, 0},
        {{"verify", noTables}, 1},
        {{"verify"}, 2},
        {{"backup", b.path()}, 0},
        {{"backup", noTables}, 1},
        {{"backup", b.path(), "x"}, 2},
        {{"restore", b.path(), "1999-01-01_000000"}, 1},
        {{"restore", b.path()}, 2},
        {{"statement", "multiyear", s.filePath(QStringLiteral("w.pdf")), "--dir=" + b.path()}, 1}, // empty
        {{"statement", "monthly", "3", "2004", b.file(DayFile), "--dir", b.path()}, 1},            // refused
        {{"statement", "monthly", "13", "2004", "x.pdf"}, 2},
        {{"statement", "yearly", "2004", "x.pdf", "--help"}, 0},
        {{"--bogus"}, 2},
    };
    for (const Case &c : cases) {
        const ToolOutcome r = tool(c.args, scratch.path());
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        if (c.code == 2) {
            EXPECT_TRUE(r.err.startsWith(QStringLiteral("użycie: kwotnik-ledger"))) << r.err.toStdString();
        } else if (c.code == 1) {
            EXPECT_TRUE(r.err.startsWith(QStringLiteral("kwotnik-ledger: "))) << r.err.toStdString();
        }
    }
}

TEST(CommandLine, TheUsageStatesTheExitStatusesAndTheRefusals)
{
    const ToolOutcome r = tool({"verify", "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.err.isEmpty());
    for (const char *says : {"0  wykonane", "1  odmowa albo błąd", "2  błędne użycie", "--dir=KATALOG",
                             "Kwotnik.jrn", "statement monthly MIESIĄC ROK PLIK.pdf"})
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(says))) << says;
    for (const QString &line : r.out.split(QLatin1Char('\n')))
        EXPECT_LE(line.size(), 100) << line.toStdString();
}
