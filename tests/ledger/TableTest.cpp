#include "ledger/Table.h"
#include "TestTables.h"
#include "ledger/EngineError.h"

#include <QProcess>
#include <QThread>

using kw::EngineError;
using kw::Table;

namespace {

std::string errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EngineError &e) {
        return e.what();
    }
    return "(no error)";
}

struct DayTable : kwtest::LedgerDir
{
    Table t;
    kwtest::FixedPeriod period;
    DayTable()
    {
        kw::ledger::setUpDayTable(t);
        t.setDirectory(path());
        t.setOnFilterRecord(kw::ledger::dayPeriodFilter(period));
    }
    void addDay(int day, const QString &month = "3", const QString &year = "2004", double income = 0)
    {
        t.insert();
        t.setFieldValue("MIESIAC", month);
        t.setFieldValue("ROK", year);
        t.setFieldValue("DZIEN", day);
        t.setFieldValue("PRZYCHOD", income);
        t.post();
    }
    std::vector<int> days()
    {
        std::vector<int> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.fieldValue("DZIEN").toInt());
        return out;
    }
};

} // namespace

TEST(Table, ClosedAndEmptyDatasetsRefuseWithTheEngineMessages)
{
    DayTable d;
    EXPECT_EQ(d.t.state(), Table::State::Inactive);
    EXPECT_EQ(errorOf([&] { d.t.first(); }), "Cannot perform this operation on a closed dataset");
    EXPECT_EQ(errorOf([&] { d.t.deleteRecord(); }), "Cannot perform this operation on a closed dataset");
    EXPECT_EQ(errorOf([&] { d.t.fieldValue("DZIEN"); }), "Cannot perform this operation on a closed dataset");
    d.t.close(); // closing a closed table does nothing
    d.t.setFiltered(false);

    d.t.open();
    EXPECT_EQ(d.t.state(), Table::State::Browse);
    EXPECT_TRUE(d.t.eof() && d.t.bof() && d.t.isEmpty());
    EXPECT_TRUE(d.t.fieldValue("DATA").isNull()) << "with no record the fields read as null";
    EXPECT_EQ(errorOf([&] { d.t.deleteRecord(); }), "Cannot perform this operation on an empty dataset");
    EXPECT_EQ(errorOf([&] { d.t.post(); }), "Dataset not in edit or insert mode");
    EXPECT_EQ(errorOf([&] { d.t.setFieldValue("DZIEN", 1); }), "Dataset not in edit or insert mode");
    EXPECT_NE(errorOf([&] { d.t.fieldValue("NIEMA"); }).find("pole NIEMA nie istnieje"), std::string::npos);

    // Edit on an empty table inserts, without the before-edit hook.
    int edits = 0;
    d.t.beforeEdit = [&](Table &) { ++edits; };
    d.t.edit();
    EXPECT_EQ(d.t.state(), Table::State::Insert);
    EXPECT_EQ(edits, 0);
    d.t.cancel();
    EXPECT_EQ(d.t.state(), Table::State::Browse);
    EXPECT_TRUE(d.t.isEmpty()) << "a cancelled insert writes nothing";
}

TEST(Table, HooksRunBeforeTheirOperationAndAnErrorStopsIt)
{
    DayTable d;
    d.t.open();
    d.addDay(5);
    std::vector<std::string> calls;
    d.t.beforeEdit = [&](Table &) { calls.push_back("edit"); };
    d.t.beforePost = [&](Table &t) {
        calls.push_back("post");
        EXPECT_TRUE(t.state() == Table::State::Edit);
    };
    d.t.beforeDelete = [&](Table &t) {
        calls.push_back("delete");
        EXPECT_EQ(t.recordCount(), 1) << "the record is still there when the hook runs";
    };
    d.t.edit();
    d.t.edit(); // already editing: no second hook
    d.t.setFieldValue("UWAGI", QStringLiteral("pierwsza"));
    d.t.post();
    EXPECT_EQ(calls, (std::vector<std::string>{"edit", "post"}));

    d.t.beforePost = [&](Table &) { throw EngineError("nie wolno"); };
    d.t.edit();
    d.t.setFieldValue("UWAGI", QStringLiteral("druga"));
    EXPECT_EQ(errorOf([&] { d.t.post(); }), "nie wolno");
    EXPECT_EQ(d.t.state(), Table::State::Edit) << "a refused post leaves the record in edit state";
    d.t.cancel();
    EXPECT_EQ(d.t.fieldValue("UWAGI").toString(), "pierwsza");

    d.t.beforeDelete = [&](Table &) { throw EngineError("stop"); };
    EXPECT_EQ(errorOf([&] { d.t.deleteRecord(); }), "stop");
    EXPECT_EQ(d.t.recordCount(), 1);
    d.t.beforeDelete = nullptr;
    d.t.deleteRecord();
    EXPECT_TRUE(d.t.isEmpty());
}

TEST(Table, FilterAndOrderShowThePeriodsDaysByDay)
{
    DayTable d;
    d.t.open();
    d.addDay(20);
    d.addDay(3);
    d.addDay(12, "4");
    d.addDay(3, "3", "2005");
    d.addDay(7);
    d.addDay(3); // two entries with one day number stand one after the other
    EXPECT_EQ(d.days(), (std::vector<int>{3, 3, 3, 7, 12, 20})) << "unfiltered, the whole file in day order";
    d.t.setFiltered(true);
    EXPECT_EQ(d.days(), (std::vector<int>{3, 3, 7, 20}));
    d.period.month = "4";
    d.t.refresh();
    EXPECT_EQ(d.days(), (std::vector<int>{12}));
    d.period.month = "5";
    d.t.refresh();
    EXPECT_TRUE(d.t.isEmpty());
}

TEST(Table, FilterMatchesMonthAndYearEachOnItsOwn)
{
    DayTable d;
    d.t.open();
    d.addDay(1, "1", "2003");
    d.addDay(2, "12", "003");
    d.addDay(3, "", "2003");
    d.addDay(4, "1", "");
    d.period = kwtest::FixedPeriod("1", "2003");
    d.t.setFiltered(true);
    EXPECT_EQ(d.days(), (std::vector<int>{1})) << "month 12 of 003 joined would read 12003 too";
    d.period = kwtest::FixedPeriod("12", "003");
    d.t.refresh();
    EXPECT_EQ(d.days(), (std::vector<int>{2}));
    d.period = kwtest::FixedPeriod("", "2003");
    d.t.refresh();
    EXPECT_TRUE(d.t.isEmpty()) << "a blank month belongs to no period";
    d.period = kwtest::FixedPeriod("1", "");
    d.t.refresh();
    EXPECT_TRUE(d.t.isEmpty());
}

TEST(Table, SwitchingTheFilterPostsAChangedRecordAndDropsAnUnchangedOne)
{
    DayTable d;
    d.t.open();
    d.addDay(9);
    d.addDay(8);
    int posts = 0;
    d.t.beforePost = [&](Table &) { ++posts; };
    d.t.last();
    d.t.edit();
    d.t.setFieldValue("UWAGI", QStringLiteral("zmiana"));
    d.t.setFiltered(true);
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(d.t.state(), Table::State::Browse);
    EXPECT_EQ(d.t.recNo(), 0) << "then the first visible record is current";
    EXPECT_EQ(d.t.fieldValue("DZIEN").toInt(), 8);
    d.t.last();
    EXPECT_EQ(d.t.fieldValue("UWAGI").toString(), "zmiana");

    d.t.edit();
    d.t.setFiltered(false);
    EXPECT_EQ(posts, 1) << "an unchanged record is abandoned, not posted";

    d.t.edit();
    d.t.setFieldValue("UWAGI", QStringLiteral("porzucone"));
    d.t.close();
    d.t.open();
    d.t.last();
    EXPECT_EQ(d.t.fieldValue("UWAGI").toString(), "zmiana") << "closing abandons an unposted change";
}

TEST(Table, TablesOnOneFileShareTheirRecords)
{
    DayTable d;
    Table other;
    other.setTableName("WYDATKI.DBF"); // names match without regard to case
    other.setDirectory(d.path());
    d.t.open();
    other.open();
    d.addDay(4);
    EXPECT_EQ(other.recordCount(), 1) << "an insert through one table is seen by another that stays open";
    d.t.edit();
    d.t.setFieldValue("PRZYCHOD", 12.5);
    d.t.post();
    EXPECT_DOUBLE_EQ(other.fieldValue("PRZYCHOD").toDouble(), 12.5);
    other.deleteRecord();
    EXPECT_TRUE(d.t.isEmpty());
    EXPECT_TRUE(d.t.fieldValue("PRZYCHOD").isNull());
}

TEST(Table, AFileChangedByAnotherProgramIsReadAgainOnRefreshAndOpen)
{
    DayTable d;
    d.t.open();
    d.addDay(1);
    // Another program appends a record with its own file handle.
    {
        auto f = kw::DbfFile::open(d.file("Wydatki.dbf"));
        std::string rec = f->blankRecord();
        f->encode(rec.data(), f->fieldIndex(u"DZIEN"), 2);
        QThread::msleep(5);
        f->appendRecord(rec.data());
    }
    d.t.refresh();
    EXPECT_EQ(d.t.recordCount(), 2);
    d.t.close();

    // ... or replaces the file outright while no table is open on it.
    const QByteArray original = kwtest::readAll(d.file("Wydatki.dbf"));
    QTemporaryDir other;
    kw::ledger::createEmptyTables(other.path());
    QFile::remove(d.file("Wydatki.dbf"));
    QFile::copy(QDir(other.path()).filePath("Wydatki.dbf"), d.file("Wydatki.dbf"));
    d.t.open();
    EXPECT_TRUE(d.t.isEmpty());
    EXPECT_GT(original.size(), kwtest::readAll(d.file("Wydatki.dbf")).size());
}

TEST(Table, MissingFileOrFieldIsReportedWhenOpening)
{
    DayTable d;
    QFile::remove(d.file("Wydatki.dbf"));
    EXPECT_NE(errorOf([&] { d.t.open(); }).find("Plik Wydatki.dbf nie istnieje w katalogu"),
              std::string::npos);
    EXPECT_FALSE(d.t.active());

    kw::DbfFile::create(d.file("Wydatki.dbf"), {{"MIESIAC", 'C', 3, 0}, {"ROK", 'N', 5, 0}});
    EXPECT_NE(errorOf([&] { d.t.open(); }).find("pole ROK ma typ N, a powinno zawierać tekst"),
              std::string::npos);
    QFile::remove(d.file("Wydatki.dbf"));
    kw::DbfFile::create(d.file("Wydatki.dbf"), {{"MIESIAC", 'C', 3, 0}, {"ROK", 'C', 5, 0}});
    EXPECT_NE(errorOf([&] { d.t.open(); }).find("brakuje pola DZIEN"), std::string::npos);
}

TEST(Table, OtherWidthsAndBinaryNumbersAreAccepted)
{
    kwtest::LedgerDir dir;
    QFile::remove(dir.file("Sum.DBF"));
    std::vector<kw::DbfFieldSpec> fields{{"ID", 'N', 4, 0}, {"RROK", 'C', 8, 0}};
    for (const auto &f : kw::ledger::yearFields())
        if (f.type == 'N' && std::string(f.name) != "ID")
            fields.push_back({f.name, 'F', 20, 2});
    kw::DbfFile::create(dir.file("sum.dbf"), fields, 0x57);
    Table t;
    kw::ledger::setUpYearTable(t);
    t.setDirectory(dir.path());
    t.open();
    t.insert();
    t.setFieldValue("RROK", QStringLiteral("2004"));
    t.setFieldValue("RPRZYCH", QStringLiteral("0"));
    t.setFieldValue("RINNE", QStringLiteral("12,5")); // text read the way the user writes numbers
    t.post();
    EXPECT_EQ(t.fieldValue("RROK").toString(), "2004");
    EXPECT_DOUBLE_EQ(t.fieldValue("RPRZYCH").toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(t.fieldValue("RINNE").toDouble(), 12.5);
    t.edit();
    EXPECT_NE(errorOf([&] {
                  t.setFieldValue("RINNE", QStringLiteral("dużo"));
              }).find("'dużo' is not a valid floating point value"),
              std::string::npos);
}
