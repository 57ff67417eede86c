// A ledger on a file system mounted read-only: the user is told that the file system is read-only
// (remount it, or copy the data elsewhere), not that the file is (which chmod would mend).
#include "TestTables.h"
#include "ledger/LedgerCheck.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

using namespace kw::ledger;
using kwtest::Ledger;

namespace {

struct Ran
{
    bool ran = false;
    int code = -1;
    QString err;
};

// Runs the ledger writer on `dir` mounted read-only in a mount namespace of its own; not run where
// the system does not let this process make one.
Ran onReadOnlyMount(const QString &dir, const char *op)
{
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty())
        return {};
    QProcess p;
    p.start(unshare, {"-m", "--propagation", "private", "sh", "-c",
                      "mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" || exit 97; "
                      "exec \"$2\" \"$1\" \"$3\"",
                      "sh", dir, QStringLiteral(KW_CRASH_DRIVER), QString::fromLatin1(op)});
    p.waitForFinished(60000);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() == 97 || err.contains("unshare:"))
        return {};
    return {true, p.exitCode(), err};
}

} // namespace

TEST(ReadOnlyMount, AWriteIsToldAsAReadOnlyFileSystemAndChangesNothing)
{
    QTemporaryDir tmp;
    {
        Ledger b(tmp.path());
        createEmptyTables(tmp.path());
        b.open("3", "2004");
        addDay(b.t, 5, "3", "2004", QDate(2004, 3, 5));
        closePeriod(b.t);
    }
    const QString before = dumpTableCsv(QDir(tmp.path()).filePath(DayFile));
    // A booking (the journal is the first file it writes) and a lone write of a table record.
    for (const char *op : {"add", "rewrite"}) {
        SCOPED_TRACE(op);
        const Ran r = onReadOnlyMount(tmp.path(), op);
        if (!r.ran)
            GTEST_SKIP() << "this system does not let the test mount a folder read-only";
        EXPECT_EQ(r.code, 3) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("system plików jest tylko do odczytu")) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("plik jest tylko do odczytu")) << r.err.toStdString();
    }
    EXPECT_EQ(dumpTableCsv(QDir(tmp.path()).filePath(DayFile)), before);
}
