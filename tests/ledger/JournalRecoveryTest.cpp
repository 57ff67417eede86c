// What a journal may put back, and where: only in its own directory, only over tables that still
// hold what the unfinished change found or wrote, and either all of it or none. A journal that
// cannot be trusted is set aside under a dated name and never keeps the user out.
// Most of its few seconds (up to ten on a busy machine) go to recovering a journal cut at every
// length and with every byte flipped, one recovery each.
#include "TestTables.h"
#include "ledger/Backup.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace kw::ledger;
using kw::Journal::Recovery;
using kwtest::Ledger;

namespace {

const QStringList Tables{DayFile, MonthFile, YearFile};

QByteArray tables(const QString &dir)
{
    QByteArray all;
    for (const QString &t : Tables)
        all += kwtest::readAll(QDir(dir).filePath(t));
    return all;
}

void putTables(const QString &dir, const std::vector<QByteArray> &files)
{
    for (int i = 0; i < Tables.size(); ++i)
        kwtest::writeAll(QDir(dir).filePath(Tables[i]), files[std::size_t(i)]);
}

std::vector<QByteArray> tableFiles(const QString &dir)
{
    std::vector<QByteArray> out;
    for (const QString &t : Tables)
        out.push_back(kwtest::readAll(QDir(dir).filePath(t)));
    return out;
}

QString journalOf(const QString &dir)
{
    return QDir(dir).filePath(kw::Journal::fileName());
}

// March 2004 with days 5 and 7 booked, every table closed again.
void prepare(const QString &dir, double income = 100)
{
    Ledger b(dir);
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate(2004, 3, 5));
    bookAmounts(b.t, Ledger::one(0, income), Sign::Add);
    addDay(b.t, 7, "3", "2004", QDate(2004, 3, 7));
    bookAmounts(b.t, Ledger::one(4, 40), Sign::Add);
    closePeriod(b.t);
}

// Kills this process when the table is about to be written: a change writes the day entry, the
// month sum and the year sum in that order.
void killAtWriteOf(const QString &table)
{
    kw::diskio::setFaultInjector([table](kw::diskio::Op op, const QString &name) {
        if (op == kw::diskio::Op::Write && name == table)
            raise(SIGKILL);
        return 0;
    });
}

// A booking on day 5 killed after the day entry and the month sum reached the disk, before the
// year sum: the tables are torn and the journal holds the change.
void crashABooking(const QString &dir)
{
    const pid_t pid = fork();
    if (pid == 0) {
        Ledger b(dir);
        b.open("3", "2004");
        b.day.first();
        killAtWriteOf(YearFile);
        bookAmounts(b.t, Ledger::one(0, 50), Sign::Add);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ASSERT_GT(QFileInfo(journalOf(dir)).size(), 0);
}

// The period opens after whatever recovery did: nobody is kept out.
void expectTheBooksOpen(const QString &dir)
{
    Ledger b(dir);
    try {
        b.open("3", "2004");
    } catch (const kw::EngineError &) {
        // Told once, when the journal is set aside; the next open works.
        b.open("3", "2004");
    }
    EXPECT_TRUE(b.day.active());
}

void expectSetAside(const Recovery &r, Recovery::Reason reason, const QString &dir)
{
    EXPECT_TRUE(r.setAside()) << r.message().toStdString();
    EXPECT_EQ(r.reason, reason) << r.message().toStdString();
    EXPECT_FALSE(QFileInfo::exists(journalOf(dir))) << "the journal no longer waits to be applied";
    EXPECT_TRUE(QFileInfo::exists(r.setAsideAs)) << r.setAsideAs.toStdString();
    EXPECT_TRUE(QFileInfo(r.setAsideAs).fileName().startsWith("Kwotnik-odlozony-"));
}

} // namespace

// A group belongs to its directory. A write to another directory's table inside it is refused
// before anything is written, so rolling the group back can never write this directory's images
// over the other's tables (once it put day 5's 1 over the other folder's 5).
TEST(JournalFolders, AWriteToAnotherFoldersTableInsideAGroupIsRefusedAndItsFilesStayAsTheyWere)
{
    kwtest::LedgerDir dirA, dirB;
    prepare(dirA.path(), 1);
    prepare(dirB.path(), 5);
    Ledger a(dirA.path()), b(dirB.path());
    a.open("3", "2004");
    b.open("3", "2004");
    const QByteArray beforeA = tables(dirA.path()), beforeB = tables(dirB.path());
    {
        kw::AtomicGroup group(dirA.path());
        bookAmounts(a.t, Ledger::one(0, 8), Sign::Add);
        EXPECT_DOUBLE_EQ(a.day.fieldValue("PRZYCHOD").toDouble(), 9);

        // The other folder's table written straight through its file, past its books.
        {
            const auto f = kw::DbfFile::open(dirB.file(DayFile));
            std::string record(std::size_t(f->recordLength()), ' ');
            f->readRecord(0, record.data());
            try {
                f->writeRecord(0, record.data());
                ADD_FAILURE() << "a write to another folder inside the group went through";
            } catch (const kw::EngineError &e) {
                EXPECT_EQ(e.kind(), kw::EngineError::Kind::Refused);
                EXPECT_EQ(e.file(), DayFile);
                EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(dirB.path()))) << e.what();
            }
        }
        // A booking of the other folder starts a group of its own directory: refused as well.
        try {
            bookAmounts(b.t, Ledger::one(0, 3), Sign::Add);
            ADD_FAILURE() << "a booking of another folder joined the group";
        } catch (const kw::EngineError &e) {
            EXPECT_EQ(e.kind(), kw::EngineError::Kind::Refused);
            EXPECT_EQ(e.outcome(), kw::EngineError::Outcome::NothingStored);
        }
        EXPECT_EQ(tables(dirB.path()), beforeB) << "nothing of the other folder was written";
        group.rollback();
    }
    EXPECT_EQ(tables(dirA.path()), beforeA);
    EXPECT_EQ(tables(dirB.path()), beforeB) << "the rollback wrote nothing over the other folder";
    closePeriod(a.t);
    closePeriod(b.t);
    a.open("3", "2004");
    b.open("3", "2004");
    EXPECT_DOUBLE_EQ(a.day.fieldValue("PRZYCHOD").toDouble(), 1);
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 5);

    // Each folder books on its own, one after the other, and both land.
    bookAmounts(a.t, Ledger::one(0, 8), Sign::Add);
    bookAmounts(b.t, Ledger::one(0, 2), Sign::Add);
    EXPECT_DOUBLE_EQ(a.year.fieldValue("RPRZYCH").toDouble(), 9);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RPRZYCH").toDouble(), 7);
    EXPECT_TRUE(verifyLedger(dirA.path()).isEmpty());
    EXPECT_TRUE(verifyLedger(dirB.path()).isEmpty());
}

// A journal is applied only in the directory it was written in: copied into another folder it is
// set aside there and changes nothing; the folder it belongs to, even renamed, is rolled back.
TEST(JournalFolders, AJournalCopiedToAnotherFolderIsSetAsideThereAndARenamedFolderKeepsItsOwn)
{
    QTemporaryDir root;
    const QString a = root.filePath("a"), other = root.filePath("inny");
    for (const QString &d : {a, other}) {
        QDir().mkpath(d);
        createEmptyTables(d);
    }
    prepare(a);
    prepare(other);
    const QByteArray beforeA = tables(a);
    crashABooking(a);
    const QByteArray crashedA = tables(a);

    // The other folder's tables are like these; the journal would change all three there.
    QFile::remove(journalOf(other));
    ASSERT_TRUE(QFile::copy(journalOf(a), journalOf(other)));
    const QByteArray otherBefore = tables(other);
    const Recovery there = kw::Journal::recover(other);
    expectSetAside(there, Recovery::Reason::OtherFolder, other);
    EXPECT_EQ(tables(other), otherBefore);
    EXPECT_TRUE(there.message().contains("innym katalogu")) << there.message().toStdString();
    expectTheBooksOpen(other);

    // The same holds for a whole copy of the folder, journal and tables alike.
    const QString copy = root.filePath("kopia-calego");
    QDir().mkpath(copy);
    for (const QString &f : QDir(a).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(QDir(a).filePath(f), QDir(copy).filePath(f)));
    expectSetAside(kw::Journal::recover(copy), Recovery::Reason::OtherFolder, copy);
    EXPECT_EQ(tables(copy), crashedA);

    // Moved by its owner, the folder is still the one the journal was written in.
    const QString moved = root.filePath("przeniesiony");
    ASSERT_TRUE(QDir().rename(a, moved));
    const Recovery home = kw::Journal::recover(moved);
    EXPECT_TRUE(home.rolledBack()) << home.message().toStdString();
    EXPECT_EQ(tables(moved), beforeA);
    EXPECT_TRUE(verifyLedger(moved).isEmpty());
}

// Another program deleted a day and packed the table after the crash: the old image would land on
// another day, and the header would count a record that is not there. Nothing is written back.
TEST(JournalProof, AJournalOverATablePackedByAnotherProgramIsSetAsideNamingTheNewestCopy)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    ASSERT_EQ(kw::backup::backupNow(dir.path(), QDateTime::currentDateTime().addSecs(-60)).kind,
              kw::backup::Outcome::Made);
    crashABooking(dir.path());

    // Day 5, the first record, deleted and the file packed: day 7 moves into its place.
    QByteArray day = kwtest::readAll(dir.file(DayFile));
    {
        auto f = kw::DbfFile::open(dir.file(DayFile));
        day.remove(f->headerLength(), f->recordLength());
        day[4] = char(day[4] - 1);
    }
    kwtest::writeAll(dir.file(DayFile), day);
    const QByteArray packed = tables(dir.path());

    const Recovery r = kw::Journal::recover(dir.path());
    expectSetAside(r, Recovery::Reason::FileChanged, dir.path());
    EXPECT_EQ(r.files, QStringList{DayFile}) << r.message().toStdString();
    EXPECT_EQ(tables(dir.path()), packed) << "no table was written";
    const QStringList copies = kw::backup::copies(dir.path());
    ASSERT_EQ(copies.size(), 1);
    EXPECT_TRUE(r.newestCopy.endsWith(copies.front())) << r.newestCopy.toStdString();
    EXPECT_TRUE(r.message().contains(copies.front())) << r.message().toStdString();
    EXPECT_TRUE(r.message().contains(DayFile)) << r.message().toStdString();
    expectTheBooksOpen(dir.path());
    Ledger b(dir.path());
    b.open("3", "2004");
    EXPECT_EQ(b.day.recordCount(), 1) << "the packed table is read as its header says";
}

// The user put the tables back from a copy by hand after the crash: the journal must not undo that.
TEST(JournalProof, AJournalOverTablesRestoredByHandIsSetAsideAndTheRestoreStands)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const std::vector<QByteArray> copied = tableFiles(dir.path());
    {
        // Bookings after the copy, so the copy holds other records than the crash found.
        Ledger b(dir.path());
        b.open("3", "2004");
        bookAmounts(b.t, Ledger::one(0, 25), Sign::Add);
        closePeriod(b.t);
    }
    crashABooking(dir.path());
    putTables(dir.path(), copied);

    const Recovery r = kw::Journal::recover(dir.path());
    expectSetAside(r, Recovery::Reason::FileChanged, dir.path());
    EXPECT_EQ(tableFiles(dir.path()), copied) << "the restore was not undone";
    EXPECT_TRUE(verifyLedger(dir.path()).isEmpty());

    // A copy that holds exactly what the change found needs nothing written: the journal is done.
    kwtest::LedgerDir second;
    prepare(second.path());
    const std::vector<QByteArray> before = tableFiles(second.path());
    crashABooking(second.path());
    putTables(second.path(), before);
    const Recovery same = kw::Journal::recover(second.path());
    EXPECT_EQ(same.result, Recovery::Result::Nothing) << same.message().toStdString();
    EXPECT_EQ(tableFiles(second.path()), before);
    EXPECT_EQ(QFileInfo(journalOf(second.path())).size(), 0);
}

// A table torn by a power cut holds, disk chunk by disk chunk, what was there or what was being
// written: that is still the change's own, and it is rolled back.
TEST(JournalProof, ATableTornAtADiskChunkIsStillRolledBack)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    // Days enough that one record crosses a 512-byte boundary between two of its amounts.
    {
        Ledger b(dir.path());
        b.open("3", "2004");
        for (int d = 8; d < 29; ++d)
            addDay(b.t, d, "3", "2004", QDate(2004, 3, d));
        closePeriod(b.t);
    }
    auto f = kw::DbfFile::open(dir.file(DayFile));
    const int length = f->recordLength();
    const int firstAmount = f->fields()[std::size_t(f->fieldIndex(Categories.front().day))].offset;
    const int lastAmount = f->fields()[std::size_t(f->fieldIndex(Categories.back().day))].offset;
    std::uint32_t crossing = 0;
    auto boundaryIn = [&](std::uint32_t r) { return int(512 - f->recordOffset(r) % 512); };
    while (crossing < f->recordCount() &&
           !(boundaryIn(crossing) > firstAmount + 1 && boundaryIn(crossing) < lastAmount))
        ++crossing;
    ASSERT_LT(crossing, f->recordCount());
    const std::int64_t at = f->recordOffset(crossing);
    f.reset();
    const QByteArray before = tables(dir.path());
    const QByteArray dayBefore = kwtest::readAll(dir.file(DayFile));

    // The booking of every category on that day, killed after its day entry was written.
    const pid_t pid = fork();
    if (pid == 0) {
        Ledger b(dir.path());
        b.open("3", "2004");
        b.day.moveTo(int(crossing));
        killAtWriteOf(MonthFile);
        bookAmounts(b.t, AmountSet{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, Sign::Add);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    // Only the chunk from the boundary on reached the disk.
    QByteArray torn = kwtest::readAll(dir.file(DayFile));
    const QByteArray dayAfter = torn.mid(int(at), length);
    const int boundary = int((at / 512 + 1) * 512);
    torn.replace(int(at), boundary - int(at), dayBefore.mid(int(at), boundary - int(at)));
    ASSERT_NE(torn.mid(int(at), length), dayBefore.mid(int(at), length));
    ASSERT_NE(torn.mid(int(at), length), dayAfter);
    kwtest::writeAll(dir.file(DayFile), torn);

    const Recovery r = kw::Journal::recover(dir.path());
    EXPECT_TRUE(r.rolledBack()) << r.message().toStdString();
    EXPECT_EQ(tables(dir.path()), before);

    // Bytes that neither write left are another's: one byte of the record changed, nothing applied.
    crashABooking(dir.path());
    QByteArray changed = kwtest::readAll(dir.file(DayFile));
    auto g = kw::DbfFile::open(dir.file(DayFile));
    const int remark = int(g->recordOffset(0)) + g->fields()[std::size_t(g->fieldIndex("UWAGI"))].offset;
    g.reset();
    changed[remark] = 'X';
    kwtest::writeAll(dir.file(DayFile), changed);
    expectSetAside(kw::Journal::recover(dir.path()), Recovery::Reason::FileChanged, dir.path());
    EXPECT_EQ(kwtest::readAll(dir.file(DayFile)), changed);
}

// A complete journal over torn tables, cut at every length and with every byte flipped: it is
// applied whole or not at all, never throws, and the period opens afterwards.
TEST(JournalDamage, ACompleteJournalCutAtEveryLengthOrWithAnyByteFlippedIsAllOrNothing)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const QByteArray before = tables(dir.path());
    crashABooking(dir.path());
    const std::vector<QByteArray> crashed = tableFiles(dir.path());
    const QByteArray crashedBytes = tables(dir.path());
    const QByteArray journal = kwtest::readAll(journalOf(dir.path()));
    ASSERT_GT(journal.size(), 200);

    // Whole, it takes the booking back.
    const Recovery whole = kw::Journal::recover(dir.path());
    ASSERT_TRUE(whole.rolledBack()) << whole.message().toStdString();
    ASSERT_EQ(tables(dir.path()), before);

    auto attempt = [&](const QByteArray &bytes) {
        putTables(dir.path(), crashed);
        kwtest::writeAll(journalOf(dir.path()), bytes);
        Recovery r;
        try {
            r = kw::Journal::recover(dir.path());
        } catch (const std::exception &e) {
            ADD_FAILURE() << "recovery threw: " << e.what();
        }
        const QByteArray now = tables(dir.path());
        EXPECT_TRUE(now == before || now == crashedBytes) << "half applied";
        if (r.setAside())
            QFile::remove(r.setAsideAs);
        return std::make_pair(r, now == before);
    };
    int setAside = 0;
    for (int n = 1; n < journal.size(); ++n) {
        SCOPED_TRACE(n);
        const auto [r, applied] = attempt(journal.left(n));
        EXPECT_FALSE(applied) << "a journal cut short was applied";
        EXPECT_TRUE(r.setAside());
        EXPECT_EQ(r.reason, Recovery::Reason::DoesNotCheck);
        setAside += r.setAside();
    }
    for (int i = 0; i < journal.size(); ++i) {
        SCOPED_TRACE(i);
        QByteArray flipped = journal;
        flipped[i] = char(flipped[i] ^ 0x5A);
        const auto [r, applied] = attempt(flipped);
        EXPECT_FALSE(applied) << "a journal with a flipped byte was applied";
        EXPECT_TRUE(r.setAside());
        setAside += r.setAside();
        if (i % 97 == 0) {
            // The user is never kept out, and the check reports the torn tables.
            EXPECT_FALSE(r.ledgerProblems.isEmpty());
            expectTheBooksOpen(dir.path());
        }
    }
    EXPECT_EQ(setAside, 2 * journal.size() - 1);

    // Bytes past the part the header counts are not the journal's: it is applied whole.
    const auto [r, applied] = attempt(journal + QByteArray("\x01\x02\x03", 3));
    EXPECT_TRUE(applied) << r.message().toStdString();
    // Zeros the system left where the journal never reached the disk mean nothing was written.
    kwtest::writeAll(journalOf(dir.path()), QByteArray(journal.size(), '\0'));
    EXPECT_EQ(kw::Journal::recover(dir.path()).result, Recovery::Result::Nothing);
    EXPECT_EQ(QFileInfo(journalOf(dir.path())).size(), 0);
}

// A journal that cannot be read (here a folder stands in its place) is set aside like a damaged one,
// and opening the period tells so once, then works.
TEST(JournalDamage, AnUnreadableJournalIsSetAsideAndTheNextOpenWorks)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const QByteArray before = tables(dir.path());
    QFile::remove(journalOf(dir.path()));
    ASSERT_TRUE(QDir().mkpath(journalOf(dir.path())));
    ASSERT_TRUE(kwtest::readAll(journalOf(dir.path())).isEmpty());
    Ledger b(dir.path());
    try {
        b.open("3", "2004");
        ADD_FAILURE() << "the set-aside journal was not told";
    } catch (const kw::EngineError &e) {
        EXPECT_TRUE(e.message().contains("nie da się go odczytać")) << e.what();
        EXPECT_TRUE(e.message().contains("nie wykazało różnic")) << e.what();
    }
    EXPECT_EQ(tables(dir.path()), before);
    EXPECT_FALSE(QFileInfo::exists(journalOf(dir.path())));
    b.open("3", "2004");
    bookAmounts(b.t, Ledger::one(0, 1), Sign::Add);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RPRZYCH").toDouble(), 101);
}
