// Our tables against independent dBase readers and writers from Debian: python3-dbfread,
// shapelib's dbfdump and python3-dbf.
#include "TestTables.h"
#include "ledger/LedgerCheck.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace kw::ledger;
using kwtest::Ledger;

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

QString run(const QString &program, const QStringList &args, const QString &dir, const QByteArray &input = {})
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool hasPythonModule(const char *module)
{
    QProcess p;
    p.start(Python, {"-c", QStringLiteral("import %1").arg(QLatin1String(module))});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A small ledger written by our engine: inserts, edits, a delete, Polish remarks.
void writeBooks(Ledger &b)
{
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate(2004, 3, 5));
    bookAmounts(b.t, AmountSet{1234.5, 0, 0, 0, 99.99, 0, 0, 0, 0, 0}, Sign::Add);
    b.day.edit();
    b.day.setFieldValue("UWAGI", QStringLiteral("Zażółć gęślą jaźń – ĄĘŁŃÓŚŹŻ"));
    b.day.post();
    b.month.post();
    b.year.post();
    addDay(b.t, 7, "3", "2004", QDate(2004, 3, 7));
    bookAmounts(b.t, AmountSet{0, 0, 0, 0, 0, 0, 0, 0, 0, -0.5}, Sign::Add);
    addDay(b.t, 9, "3", "2004", QDate(2004, 3, 9));
    deleteDay(b.t);
    closePeriod(b.t);
}

// Our reading of a table, as the dump command prints it, without deleted records and the flag column.
QStringList ourRows(const QString &path)
{
    QStringList rows = dumpTableCsv(path).split('\n', Qt::SkipEmptyParts);
    rows.removeFirst();
    QStringList out;
    for (QString r : rows) {
        if (r.endsWith(",1"))
            continue;
        r.chop(2);
        out << r;
    }
    return out;
}

} // namespace

TEST(Interop, DbfreadReadsWhatWeWrite)
{
    if (!QFileInfo::exists(Python) || !hasPythonModule("dbfread"))
        GTEST_SKIP() << "python3-dbfread is not installed";
    Ledger b;
    writeBooks(b);
    const char *script = R"(
import sys, dbfread, datetime
t = dbfread.DBF(sys.argv[1])
for r in t:
    cells = []
    for k, v in r.items():
        if v is None: cells.append('')
        elif isinstance(v, float): cells.append(repr(v) if v != int(v) else str(int(v)))
        elif isinstance(v, datetime.date): cells.append(v.isoformat())
        elif isinstance(v, str): cells.append('"' + v.replace('"', '""') + '"' if ',' in v or '"' in v else v)
        else: cells.append(str(v))
    print(','.join(cells))
)";
    for (const QString &file : {DayFile, MonthFile, YearFile}) {
        const QString theirs = run(Python, {"-c", script, b.file(file)}, b.path());
        QStringList ours = ourRows(b.file(file));
        for (QString &row : ours) // the dump writes 12.5 as "12.5" and 3 as "3", like the script
            row.replace(QRegularExpression("(?<=^|,)(-?\\d+)\\.0*(?=,|$)"), "\\1");
        EXPECT_EQ(theirs.split('\n', Qt::SkipEmptyParts), ours) << file.toStdString();
    }
    const QString remark = run(Python, {"-c", "import sys,dbfread; print([r['UWAGI'] for r in dbfread.DBF(sys.argv[1])][0])",
                                        b.file(DayFile)}, b.path());
    EXPECT_EQ(remark.trimmed(), QStringLiteral("Zażółć gęślą jaźń – ĄĘŁŃÓŚŹŻ"));
}

TEST(Interop, ShapelibDumpAgreesOnRecordsNumbersAndDeletions)
{
    if (QStandardPaths::findExecutable("dbfdump").isEmpty())
        GTEST_SKIP() << "shapelib is not installed";
    Ledger b;
    writeBooks(b);
    const QString dump = run("dbfdump", {"-m", b.file(DayFile)}, b.path());
    EXPECT_EQ(dump.count("Record: "), 3);
    EXPECT_EQ(dump.count("(DELETED)"), 1);
    EXPECT_TRUE(dump.contains(QRegularExpression("PRZYCHOD: +1234\\.5000")));
    EXPECT_TRUE(dump.contains(QRegularExpression("INNE: +-0\\.5000")));
    EXPECT_TRUE(dump.contains(QRegularExpression("DZIEN: +9\\b")));
    const QString years = run("dbfdump", {"-m", b.file(YearFile)}, b.path());
    EXPECT_TRUE(years.contains(QRegularExpression("RROZNICA: +1135\\.0100")));
}

TEST(Interop, WeReadWhatPythonDbfWrites)
{
    if (!QFileInfo::exists(Python) || !hasPythonModule("dbf"))
        GTEST_SKIP() << "python3-dbf is not installed";
    QTemporaryDir dir;
    const char *script = R"(
import dbf, datetime
specs = 'MIESIAC C(3); ROK C(5); DZIEN N(3,0); ' + '; '.join(n + ' N(19,4)' for n in
    ['PRZYCHOD','KOSZT','KOSZTOKR','OPLATY','ZYWNOSC','UZYWKI','ODZIEZ','ROZRYWKA','SAMOCH','INNE']) + '; DATA D; UWAGI C(50)'
t = dbf.Table('Wydatki.dbf', specs, codepage='cp1250', dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append(('3', '2004', 5, 12.5, 0, 0, 0, 40.25, 0, 0, 0, 0, -3, datetime.date(2004, 3, 5), 'Łódź i Kraków'))
t.append(('3', '2004', 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, None, ''))
t.append(('4', '2004', 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, None, 'usunięty'))
dbf.delete(t[2])
t.close()
)";
    run(Python, {"-c", script}, dir.path());
    kw::Table t;
    setUpDayTable(t);
    t.setDirectory(dir.path());
    kwtest::FixedPeriod period("3", "2004");
    t.setOnFilterRecord(dayPeriodFilter(period));
    t.open();
    t.setFiltered(true);
    ASSERT_EQ(t.recordCount(), 2) << "the deleted record is invisible";
    EXPECT_EQ(t.fieldValue("DZIEN").toInt(), 1) << "ordered by day";
    EXPECT_DOUBLE_EQ(t.fieldValue("INNE").toDouble(), 10);
    EXPECT_TRUE(t.fieldValue("DATA").isNull());
    EXPECT_TRUE(t.fieldValue("UWAGI").isNull());
    t.next();
    EXPECT_EQ(t.fieldValue("DZIEN").toInt(), 5);
    EXPECT_DOUBLE_EQ(t.fieldValue("PRZYCHOD").toDouble(), 12.5);
    EXPECT_DOUBLE_EQ(t.fieldValue("ZYWNOSC").toDouble(), 40.25);
    EXPECT_DOUBLE_EQ(t.fieldValue("INNE").toDouble(), -3);
    EXPECT_EQ(t.fieldValue("DATA").toDate(), QDate(2004, 3, 5));
    EXPECT_EQ(t.fieldValue("UWAGI").toString(), QStringLiteral("Łódź i Kraków"));
    // And what we then write into their file, they read back.
    t.edit();
    t.setFieldValue("UWAGI", QStringLiteral("Gdańsk"));
    t.post();
    t.close();
    const QString back = run(Python, {"-c", "import dbf; t = dbf.Table('Wydatki.dbf'); t.open(); "
                                            "print([r.uwagi.strip() for r in t if r.dzien == 5][0])"},
                             dir.path());
    EXPECT_EQ(back.trimmed(), QStringLiteral("Gdańsk"));
}

TEST(Interop, LedgerCompanionDumpsAndVerifies)
{
    Ledger b;
    writeBooks(b);
    const QString csv = run(KW_LEDGER_TOOL, {"dump", b.file(DayFile)}, b.path());
    const QStringList lines = csv.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "MIESIAC,ROK,DZIEN,PRZYCHOD,KOSZT,KOSZTOKR,OPLATY,ZYWNOSC,UZYWKI,ODZIEZ,ROZRYWKA,SAMOCH,INNE,DATA,UWAGI,DELETED");
    EXPECT_EQ(lines[1], QStringLiteral("3,2004,5,1234.5,0,0,0,99.99,0,0,0,0,0,2004-03-05,Zażółć gęślą jaźń – ĄĘŁŃÓŚŹŻ,0"));
    EXPECT_TRUE(lines[3].endsWith(",,1")) << "a deleted record with an empty remark";
    EXPECT_EQ(run(KW_LEDGER_TOOL, {"verify", b.path()}, b.path()).trimmed(),
              "w porządku: każda suma miesiąca i roku równa się sumie swoich wpisów dziennych");

    // A sum that disagrees makes verify fail with exit status 1.
    {
        auto f = kw::DbfFile::open(b.file(MonthFile));
        std::string rec(std::size_t(f->recordLength()), ' ');
        f->readRecord(0, rec.data());
        f->encode(rec.data(), f->fieldIndex(u"SPRZYCH"), 1.0);
        f->writeRecord(0, rec.data());
    }
    QProcess p;
    p.start(KW_LEDGER_TOOL, {"verify", b.path()});
    p.waitForFinished();
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardOutput().contains("suma miesiąca 3/2004: SPRZYCH wynosi 1, a wpisy dzienne dają razem 1234.5"));
}
