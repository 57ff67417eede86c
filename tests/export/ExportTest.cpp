// The spreadsheet export against books booked for it: the workbook read back by openpyxl and
// opened by LibreOffice Calc, the CSV read back by Python's csv reader, the rows each scope selects,
// the files it refuses to write, a disk that fills up, and the companion's command. About 11-25 s:
// LibreOffice starting headless (11-15 s) and sixteen runs of the Python checker.
#include "export/SheetExport.h"
#include "ledger/Books.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerSchema.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <gtest/gtest.h>
#include <unistd.h>

using kw::EngineError;
using namespace kw::ledger;
namespace sh = kw::sheets;

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

// Remarks a spreadsheet could break: the separator, quotes, a line break, Polish letters.
const QString WithSemicolon = QStringLiteral("Biedronka; Lidl");
const QString WithQuotes = QStringLiteral("Kino \"Helios\" i \"\"");
const QString WithLineBreak = QStringLiteral("Czynsz\nza marzec");
const QString PolishLetters = QStringLiteral("Zażółć gęślą jaźń ĄĘŁŃÓŚŹŻ");

// What the file keeps of an amount: four decimals.
double stored(double v)
{
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 4);
    double out = 0;
    std::from_chars(text, r.ptr, out);
    return out == 0 ? 0.0 : out;
}

struct Row
{
    Period period;
    int day = 0;
    Amounts amounts{};
    QDate created;
    QString remark;
};

// Books with entries booked out of order, over three years, with the two periods whose keys read
// alike (1 of 2003 and 12 of 003), a month with a sum and no day, a negative amount, four decimals,
// an entry without a date and one dated before 1900.
class Export : public ::testing::Test
{
protected:
    QTemporaryDir data, out;
    std::unique_ptr<Books> books;
    std::vector<Row> rows; // in the order they were booked

    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        createEmptyTables(data.path());
        books = std::make_unique<Books>(data.path());
        const auto amounts = [](double base) {
            Amounts a{};
            for (std::size_t i = 0; i < a.size(); ++i)
                a[i] = base + 0.0101 * double(i);
            return a;
        };
        book({Period::of(3, 2024), 15, amounts(1234.5678), QDate(2024, 3, 15), WithSemicolon});
        book({Period::of(11, 2024), 2, amounts(10), QDate(2024, 11, 2), WithQuotes});
        book({Period::of(12, 2023), 31, amounts(0.0001), QDate(2023, 12, 31), WithLineBreak});
        book({Period::of(3, 2024), 1, amounts(-50.25), QDate(2024, 3, 1), PolishLetters});
        book({Period::of(3, 2024), 15, amounts(7), QDate(), QStringLiteral("drugi wpis tego dnia")});
        book({Period::of(1, 2003), 5, amounts(3), QDate(2003, 1, 5), QStringLiteral("styczeń 2003")});
        book({Period{QStringLiteral("12"), QStringLiteral("003")}, 5, amounts(4), QDate(1899, 12, 30), {}});
        books->openPeriod(Period::of(6, 2024)); // a month with its sums and no day
    }

    void book(const Row &r)
    {
        books->openPeriod(r.period);
        const DayRef d = books->newDay(r.period, r.day, r.created.isValid() ? r.created : QDate(2000, 1, 1));
        if (!r.created.isValid()) {
            // An entry whose date field is blank, as another program may leave one.
            Books::Batch b = books->batch();
            std::string rec = b.record(DayFile, d.record);
            const kw::DbfField &date =
                b.table(DayFile).fields()[std::size_t(b.table(DayFile).fieldIndex("DATA"))];
            rec.replace(std::size_t(date.offset), std::size_t(date.length), std::size_t(date.length), ' ');
            b.write(DayFile, d.record, rec);
            b.commit();
        }
        Amounts plus{}, minus{};
        for (std::size_t i = 0; i < r.amounts.size(); ++i)
            (r.amounts[i] < 0 ? minus[i] : plus[i]) = std::fabs(r.amounts[i]);
        books->add(d, plus, Sign::Add);
        books->add(d, minus, Sign::Subtract);
        if (!r.remark.isEmpty())
            books->setRemark(d, r.remark);
        rows.push_back(r);
    }

    // The booked rows of a scope in the order of the days: year, month, day by number; equal days
    // in the order they were booked.
    std::vector<Row> expected(const sh::Scope &scope) const
    {
        std::vector<Row> out;
        for (const Row &r : rows)
            if ((scope.year.isEmpty() || r.period.year == scope.year) &&
                (scope.month.isEmpty() || r.period.month == scope.month))
                out.push_back(r);
        std::stable_sort(out.begin(), out.end(), [](const Row &a, const Row &b) {
            return std::tuple(a.period.yearNumber(), a.period.monthNumber(), a.day) <
                   std::tuple(b.period.yearNumber(), b.period.monthNumber(), b.day);
        });
        return out;
    }

    QString path(const QString &name) const { return QDir(out.path()).filePath(name); }
};

QJsonObject runJson(const QString &script, const QString &file)
{
    QProcess p;
    p.start(Python, {QStringLiteral(KW_EXPORT_TEST_DIR "/") + script, file});
    EXPECT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QStringList texts(const QJsonArray &cells)
{
    QStringList out;
    for (const auto &c : cells)
        out << c.toObject().value("v").toString();
    return out;
}

// A month or year text as the sheet holds it: a number when it reads as one, else the text.
void expectKey(const QJsonObject &cell, const QString &text, const std::string &what)
{
    bool number = false;
    const int n = text.toInt(&number);
    if (number && QString::number(n) == text) {
        EXPECT_EQ(cell.value("t").toString(), "n") << what;
        EXPECT_EQ(cell.value("v").toDouble(), n) << what;
    } else {
        EXPECT_EQ(cell.value("t").toString(), "s") << what;
        EXPECT_EQ(cell.value("v").toString(), text) << what;
    }
}

void expectAmount(const QJsonObject &cell, double want, const std::string &what)
{
    EXPECT_EQ(cell.value("t").toString(), "n") << what;
    EXPECT_DOUBLE_EQ(cell.value("v").toDouble(), stored(want)) << what;
    // Shown with two decimals and the currency; the cell keeps all four.
    EXPECT_TRUE(cell.value("f").toString().contains("0.00")) << what;
    EXPECT_TRUE(cell.value("f").toString().contains(QStringLiteral("zł"))) << what;
}

void expectSums(const QJsonArray &cells, int first, const SumFigures &f, const std::string &what)
{
    std::vector<double> want;
    for (int i = 0; i < int(f.amounts.size()); ++i) {
        if (i == IncomeKinds)
            want.push_back(f.income);
        want.push_back(f.amounts[std::size_t(i)]);
    }
    want.push_back(f.expenses);
    want.push_back(f.budget);
    ASSERT_EQ(cells.size(), first + qsizetype(want.size())) << what;
    for (std::size_t i = 0; i < want.size(); ++i)
        expectAmount(cells[first + qsizetype(i)].toObject(), want[i], what + " column " + std::to_string(i));
}

} // namespace

TEST_F(Export, TheWorkbookReadBackHoldsEveryDayMonthAndYearAsNumbersAndDates)
{
    const QString file = path("ksiegi.xlsx");
    const sh::Exported n = sh::writeXlsx(*books, sh::Scope::everything(), file);
    EXPECT_EQ(n.days, qint64(rows.size()));
    const QJsonArray sheets = runJson("xlsx_cells.py", file).value("sheets").toArray();
    ASSERT_EQ(sheets.size(), 3);
    EXPECT_EQ(sheets[0].toObject().value("title").toString(), "Wpisy");
    EXPECT_EQ(sheets[1].toObject().value("title").toString(), QStringLiteral("Miesiące"));
    EXPECT_EQ(sheets[2].toObject().value("title").toString(), "Lata");
    for (const auto &s : sheets) {
        EXPECT_EQ(s.toObject().value("freeze").toString(), "A2") << "the header stays in view";
        EXPECT_TRUE(s.toObject().value("filter").toString().startsWith("A1:"))
            << "every sheet has its filter";
    }

    // The day entries, in the order of the days.
    const QJsonArray days = sheets[0].toObject().value("rows").toArray();
    const std::vector<Row> want = expected(sh::Scope::everything());
    ASSERT_EQ(days.size(), qsizetype(want.size()) + 1);
    EXPECT_EQ(texts(days[0].toArray()), sh::dayColumns());
    EXPECT_EQ(sh::dayColumns().first(3),
              (QStringList{"Rok", QStringLiteral("Miesiąc"), QStringLiteral("Dzień")}));
    EXPECT_EQ(sheets[0].toObject().value("filter").toString(), QStringLiteral("A1:O%1").arg(want.size() + 1));
    for (std::size_t r = 0; r < want.size(); ++r) {
        const std::string what = "day row " + std::to_string(r + 1);
        const QJsonArray cells = days[qsizetype(r) + 1].toArray();
        ASSERT_GE(cells.size(), 14) << what;
        expectKey(cells[0].toObject(), want[r].period.year, what + " year");
        expectKey(cells[1].toObject(), want[r].period.month, what + " month");
        EXPECT_EQ(cells[2].toObject().value("v").toDouble(), want[r].day) << what;
        for (std::size_t i = 0; i < want[r].amounts.size(); ++i)
            expectAmount(cells[3 + qsizetype(i)].toObject(), want[r].amounts[i],
                         what + " amount " + std::to_string(i));
        const QJsonObject date = cells[13].toObject();
        if (!want[r].created.isValid()) {
            EXPECT_TRUE(date.value("v").isNull()) << what;
        } else if (want[r].created.year() < 1900) {
            // Before the sheets' first date: kept as its text rather than as a wrong day.
            EXPECT_EQ(date.value("t").toString(), "s") << what;
            EXPECT_EQ(date.value("v").toString(), want[r].created.toString(Qt::ISODate)) << what;
        } else {
            EXPECT_EQ(date.value("t").toString(), "d") << what;
            EXPECT_EQ(date.value("v").toString(), want[r].created.toString(Qt::ISODate)) << what;
        }
        const QJsonValue remark = cells.size() > 14 ? cells[14].toObject().value("v") : QJsonValue();
        EXPECT_EQ(remark.toString(), want[r].remark) << what;
    }

    // The month sums and the year sums as the ledger holds them, in time order.
    std::vector<MonthSum> months;
    for (const QString &y : books->years())
        for (const MonthSum &m : books->monthSums(y))
            months.push_back(m);
    ASSERT_EQ(months.size(), 6u);
    const QJsonArray monthRows = sheets[1].toObject().value("rows").toArray();
    ASSERT_EQ(monthRows.size(), qsizetype(months.size()) + 1);
    EXPECT_EQ(texts(monthRows[0].toArray()), sh::sumColumns(Level::Month));
    for (std::size_t r = 0; r < months.size(); ++r) {
        const QJsonArray cells = monthRows[qsizetype(r) + 1].toArray();
        const std::string what = "month row " + std::to_string(r + 1);
        expectKey(cells[0].toObject(), months[r].period.year, what);
        expectKey(cells[1].toObject(), months[r].period.month, what);
        expectSums(cells, 2, months[r].figures, what);
    }
    // March 2024 holds three entries: its revenue is theirs, its budget income less expenses.
    const SumFigures march = *books->monthSum(Period::of(3, 2024));
    EXPECT_NEAR(march.amounts[0], 1234.5678 - 50.25 + 7, 1e-9);
    EXPECT_NEAR(march.budget, march.income - march.expenses, 1e-9);

    const QJsonArray yearRows = sheets[2].toObject().value("rows").toArray();
    const QStringList years = books->years();
    ASSERT_EQ(years, (QStringList{"003", "2003", "2023", "2024"}));
    ASSERT_EQ(yearRows.size(), years.size() + 1);
    EXPECT_EQ(texts(yearRows[0].toArray()), sh::sumColumns(Level::Year));
    for (qsizetype r = 0; r < years.size(); ++r) {
        const QJsonArray cells = yearRows[r + 1].toArray();
        expectKey(cells[0].toObject(), years[r], "year row");
        expectSums(cells, 1, *books->yearSum(years[r]), "year " + years[r].toStdString());
    }
}

TEST_F(Export, CalcOpensTheWorkbookWithTheSameFigures)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    const QString file = path("ksiegi.xlsx");
    sh::writeXlsx(*books, sh::Scope::everything(), file);
    // Every sheet to its own CSV (';', UTF-8), the cells' own values rather than as shown.
    QProcess p;
    p.start(soffice,
            {QStringLiteral("-env:UserInstallation=file://") + path("profil"), "--headless", "--convert-to",
             "csv:Text - txt - csv (StarCalc):59,34,76,1,,0,false,true,false,false,false,-1", "--outdir",
             path("calc"), file});
    ASSERT_TRUE(p.waitForFinished(240000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    const auto sheet = [&](const QString &name) {
        return runJson("csv_rows.py", path("calc/ksiegi-" + name + ".csv")).value("rows").toArray();
    };
    const auto number = [](const QJsonValue &v) { return v.toString().replace(',', '.').toDouble(); };

    const QJsonArray days = sheet("Wpisy");
    const std::vector<Row> want = expected(sh::Scope::everything());
    ASSERT_EQ(days.size(), qsizetype(want.size()) + 1);
    EXPECT_EQ(days[0].toVariant().toStringList(), sh::dayColumns());
    for (std::size_t r = 0; r < want.size(); ++r) {
        const QJsonArray cells = days[qsizetype(r) + 1].toArray();
        const std::string what = "row " + std::to_string(r + 1);
        ASSERT_EQ(cells.size(), 15) << what;
        EXPECT_EQ(number(cells[0]), want[r].period.year.toInt()) << what;
        EXPECT_EQ(number(cells[2]), want[r].day) << what;
        for (std::size_t i = 0; i < want[r].amounts.size(); ++i)
            EXPECT_DOUBLE_EQ(number(cells[3 + qsizetype(i)]), stored(want[r].amounts[i]))
                << what << " amount " << i;
        if (want[r].created.isValid())
            EXPECT_EQ(cells[13].toString(), want[r].created.toString(Qt::ISODate)) << what;
        else
            EXPECT_EQ(cells[13].toString(), "") << what;
        EXPECT_EQ(cells[14].toString(), want[r].remark) << what;
    }

    const QJsonArray years = sheet("Lata");
    ASSERT_EQ(years.size(), 5);
    const SumFigures y2024 = *books->yearSum("2024");
    const QJsonArray last = years[4].toArray();
    EXPECT_EQ(number(last[0]), 2024);
    EXPECT_DOUBLE_EQ(number(last[1]), y2024.amounts[0]);
    EXPECT_DOUBLE_EQ(number(last[4]), y2024.income);
    EXPECT_DOUBLE_EQ(number(last[13]), y2024.budget);
    EXPECT_EQ(sheet(QStringLiteral("Miesiące")).size(), 7);

    // With KW_RENDER_DIR set, the workbook is kept there for a person to open or print.
    if (const QString dir = qEnvironmentVariable("KW_RENDER_DIR"); !dir.isEmpty()) {
        QFile::remove(QDir(dir).filePath(QStringLiteral("ksiegi.xlsx")));
        QFile::copy(file, QDir(dir).filePath(QStringLiteral("ksiegi.xlsx")));
    }
}

TEST_F(Export, TheCsvReadBackKeepsEveryRemarkFigureAndDate)
{
    const QString file = path("ksiegi.csv");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    EXPECT_EQ(sh::writeCsv(*books, sh::Scope::everything(), f), qint64(rows.size()));
    f.close();

    const QJsonObject read = runJson("csv_rows.py", file);
    EXPECT_TRUE(read.value("bom").toBool());
    const QJsonArray lines = read.value("rows").toArray();
    const std::vector<Row> want = expected(sh::Scope::everything());
    ASSERT_EQ(lines.size(), qsizetype(want.size()) + 1);
    EXPECT_EQ(lines[0].toVariant().toStringList(), sh::dayColumns());
    for (std::size_t r = 0; r < want.size(); ++r) {
        const QStringList cells = lines[qsizetype(r) + 1].toVariant().toStringList();
        const std::string what = "row " + std::to_string(r + 1);
        ASSERT_EQ(cells.size(), 15) << what;
        EXPECT_EQ(cells[0], want[r].period.year) << what;
        EXPECT_EQ(cells[1], want[r].period.month) << what;
        EXPECT_EQ(cells[2], QString::number(want[r].day)) << what;
        for (std::size_t i = 0; i < want[r].amounts.size(); ++i) {
            const QString a = cells[3 + qsizetype(i)];
            EXPECT_FALSE(a.contains('.')) << what << " decimal comma: " << a.toStdString();
            EXPECT_DOUBLE_EQ(QString(a).replace(',', '.').toDouble(), stored(want[r].amounts[i])) << what;
        }
        EXPECT_EQ(cells[13], want[r].created.isValid() ? want[r].created.toString(Qt::ISODate) : QString())
            << what;
        EXPECT_EQ(cells[14], want[r].remark) << what;
    }
    // Rows end in CRLF; a line break inside a remark stays a bare LF inside its quotes.
    const QByteArray bytes = [&] {
        QFile g(file);
        g.open(QIODevice::ReadOnly);
        return g.readAll();
    }();
    EXPECT_TRUE(bytes.contains("\"Czynsz\nza marzec\"\r\n"));
}

TEST(ExportTexts, CsvAmountsAndFieldsAreWrittenAsAPolishSpreadsheetReadsThem)
{
    EXPECT_EQ(sh::csvAmount(1234.5), "1234,50");
    EXPECT_EQ(sh::csvAmount(1234567.8912), "1234567,8912");
    EXPECT_EQ(sh::csvAmount(-0.1234), "-0,1234");
    EXPECT_EQ(sh::csvAmount(0), "0,00");
    EXPECT_EQ(sh::csvAmount(-0.00001), "0,00") << "no negative zero";
    EXPECT_EQ(sh::csvAmount(0.1 + 0.2), "0,30") << "the arithmetic's noise is not a figure";
    EXPECT_EQ(sh::csvAmount(12.30100), "12,301");
    EXPECT_EQ(sh::csvAmount(std::nan("")), "");

    EXPECT_EQ(sh::csvField("zwykły tekst, z przecinkiem"), "zwykły tekst, z przecinkiem");
    EXPECT_EQ(sh::csvField("a;b"), "\"a;b\"");
    EXPECT_EQ(sh::csvField("\"x\""), "\"\"\"x\"\"\"");
    EXPECT_EQ(sh::csvField("a\r\nb"), "\"a\r\nb\"");

    EXPECT_EQ(sh::formatOf("/x/Ksiegi.XLSX"), sh::Format::Xlsx);
    EXPECT_EQ(sh::formatOf("ksiegi.csv"), sh::Format::Csv);
    EXPECT_EQ(sh::formatOf("ksiegi.xls"), std::nullopt);
    EXPECT_EQ(sh::formatOf("csv"), std::nullopt);

    EXPECT_EQ(sh::Scope::ofMonth(Period::of(3, 2024)).describe(), "marzec 2024");
    EXPECT_EQ(sh::Scope::ofYear("2024").describe(), "rok 2024");
    EXPECT_EQ(sh::Scope::everything().describe(), "wszystkie lata");
}

TEST_F(Export, AMonthAYearAndEverythingSelectExactlyTheirRows)
{
    struct Case
    {
        sh::Scope scope;
        qint64 months, years;
    };
    const std::vector<Case> cases{
        {sh::Scope::ofMonth(Period::of(3, 2024)), 1, 1},
        {sh::Scope::ofMonth(Period::of(1, 2003)), 1, 1},
        {sh::Scope::ofMonth(Period{"12", "003"}), 1, 1},
        {sh::Scope::ofMonth(Period::of(6, 2024)), 1, 1}, // a sum, no day
        {sh::Scope::ofYear("2024"), 3, 1},
        {sh::Scope::ofYear("003"), 1, 1},
        {sh::Scope::ofYear("3"), 0, 0}, // "3" is not "003"
        {sh::Scope::everything(), 6, 4},
    };
    for (const Case &c : cases) {
        const std::string what = c.scope.describe().toStdString();
        const std::vector<Row> want = expected(c.scope);

        const QString csv = path("zakres.csv");
        QFile f(csv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(sh::writeCsv(*books, c.scope, f), qint64(want.size())) << what;
        f.close();
        const QJsonArray lines = runJson("csv_rows.py", csv).value("rows").toArray();
        ASSERT_EQ(lines.size(), qsizetype(want.size()) + 1) << what;
        for (std::size_t r = 0; r < want.size(); ++r) {
            const QStringList cells = lines[qsizetype(r) + 1].toVariant().toStringList();
            EXPECT_EQ(cells[0], want[r].period.year) << what;
            EXPECT_EQ(cells[1], want[r].period.month) << what;
            EXPECT_EQ(cells[14], want[r].remark) << what;
        }

        const sh::Exported n = sh::writeXlsx(*books, c.scope, path("zakres.xlsx"));
        EXPECT_EQ(n.days, qint64(want.size())) << what;
        EXPECT_EQ(n.months, c.months) << what;
        EXPECT_EQ(n.years, c.years) << what;
        const QJsonArray sheets = runJson("xlsx_cells.py", path("zakres.xlsx")).value("sheets").toArray();
        ASSERT_EQ(sheets.size(), 3) << what;
        EXPECT_EQ(sheets[0].toObject().value("rows").toArray().size(), qsizetype(want.size()) + 1) << what;
        EXPECT_EQ(sheets[1].toObject().value("rows").toArray().size(), c.months + 1) << what;
        EXPECT_EQ(sheets[2].toObject().value("rows").toArray().size(), c.years + 1) << what;
    }
}

TEST_F(Export, AWorkbookThatCannotBeWrittenIsAnErrorNamingTheFileAndLeavesNothing)
{
    const QString file = path("brak/ksiegi.xlsx");
    try {
        sh::writeXlsx(*books, sh::Scope::everything(), file);
        FAIL() << "a workbook in a missing folder was reported written";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(file))) << e.what();
    }
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
              QStringList());
}

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList filesIn(const QString &dir)
{
    QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

} // namespace

TEST_F(Export, WhatMustNotBeWrittenIsRefusedAndLeftAsItWas)
{
    const QDir o(out.path());
    const QString day = QDir(data.path()).filePath(DayFile);
    const QByteArray table = bytesOf(day);
    // Another name for the day table, by a symbolic link and by a hard link.
    ASSERT_TRUE(QFile::link(day, o.filePath("ksiegi.xlsx")));
    ASSERT_EQ(::link(QFile::encodeName(QDir(data.path()).filePath(YearFile)).constData(),
                     QFile::encodeName(o.filePath("lata.csv")).constData()),
              0);
    writeBytes(o.filePath("zestawienie.xlsx"), "%PDF-1.4\n%...");
    writeBytes(o.filePath("arkusz.csv"), QByteArray("PK\x03\x04\x14\0\0\0", 8));
    writeBytes(o.filePath("notatki.xlsx"), "zwykły tekst\n");
    o.mkdir("folder.csv");
    struct Case
    {
        QString name;
        sh::Scope scope;
        const char *says;
    };
    const std::vector<Case> cases{
        {"ksiegi.xlsx", sh::Scope::everything(), "plik danych"},
        {"lata.csv", sh::Scope::everything(), "plik danych"},
        {"zestawienie.xlsx", sh::Scope::everything(), "zestawienie.xlsx"},
        {"arkusz.csv", sh::Scope::everything(), "arkusz.csv"},
        {"notatki.xlsx", sh::Scope::everything(), "notatki.xlsx"},
        {"folder.csv", sh::Scope::everything(), "folder.csv"},
        {"brak/nowy.csv", sh::Scope::everything(), "nowy.csv"},
        {"ksiegi.ods", sh::Scope::everything(), ".xlsx"},
        {"pusty-rok.xlsx", sh::Scope::ofYear("1999"), "rok 1999"},
        {"pusty-miesiac.csv", sh::Scope::ofMonth(Period::of(2, 2024)), "luty 2024"},
    };
    const QStringList before = filesIn(out.path());
    for (const Case &c : cases) {
        const QString target = o.filePath(c.name);
        const QByteArray was = bytesOf(target);
        try {
            sh::exportBooks(*books, c.scope, target);
            ADD_FAILURE() << c.name.toStdString() << " was written";
        } catch (const EngineError &e) {
            EXPECT_EQ(e.kind(), EngineError::Kind::Refused) << e.what();
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.says)))
                << c.name.toStdString() << ": " << e.what();
        }
        EXPECT_EQ(bytesOf(target), was) << c.name.toStdString();
    }
    EXPECT_EQ(filesIn(out.path()), before) << "no file made, none left behind";
    EXPECT_EQ(bytesOf(day), table);

    // The same books to a new file and over an earlier export of the same kind, keeping its mode.
    const QString earlier = o.filePath("marzec.xlsx");
    sh::exportBooks(*books, sh::Scope::ofMonth(Period::of(3, 2024)), earlier);
    ASSERT_TRUE(QFile::setPermissions(earlier, QFile::ReadOwner | QFile::WriteOwner));
    const sh::Exported n = sh::exportBooks(*books, sh::Scope::ofYear("2024"), earlier);
    EXPECT_EQ(n.days, 4);
    // Owner, group and others: the bits the file system keeps (the "user" bits mirror the owner's).
    EXPECT_EQ(QFile::permissions(earlier) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    QStringList after = before + QStringList{"marzec.xlsx"};
    after.sort();
    EXPECT_EQ(filesIn(out.path()), after);
}

TEST_F(Export, AFailedWriteLeavesTheEarlierFileAndNoHalfWrittenOne)
{
    for (const QString &name : {QStringLiteral("pelny.csv"), QStringLiteral("pelny.xlsx")}) {
        const QString file = path(name);
        sh::exportBooks(*books, sh::Scope::ofYear("2023"), file);
        const QByteArray first = bytesOf(file);
        const QStringList before = filesIn(out.path());
        // The disk fills up: every write and flush of the program fails from now on.
        kw::diskio::setFaultInjector([](kw::diskio::Op, const QString &) { return ENOSPC; });
        try {
            sh::exportBooks(*books, sh::Scope::everything(), file);
            ADD_FAILURE() << name.toStdString() << " reported written";
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("brak miejsca na dysku"))) << e.what();
            EXPECT_TRUE(e.message().contains(name)) << e.what();
        }
        kw::diskio::setFaultInjector(nullptr);
        EXPECT_EQ(bytesOf(file), first) << name.toStdString();
        EXPECT_EQ(filesIn(out.path()), before) << name.toStdString();
    }
}

TEST_F(Export, TheCompanionWritesWhatTheWindowWritesAndKeepsTheExitStatusRule)
{
    struct Outcome
    {
        int code;
        QString out, err;
    };
    const auto tool = [&](QStringList args) {
        QProcess p;
        p.setWorkingDirectory(out.path());
        p.start(QStringLiteral(KW_LEDGER_TOOL), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        return Outcome{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                       QString::fromUtf8(p.readAllStandardOutput()),
                       QString::fromUtf8(p.readAllStandardError())};
    };
    const auto same = [&](const QString &file, const sh::Scope &scope) {
        QBuffer mine;
        mine.open(QIODevice::WriteOnly);
        sh::writeCsv(*books, scope, mine);
        return bytesOf(path(file)) == mine.data();
    };
    const QString dir = data.path();

    Outcome r = tool({"export", "marzec.csv", "--year", "2024", "--month", "03", "--dir", dir});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "3 wpisy\n");
    EXPECT_TRUE(same("marzec.csv", sh::Scope::ofMonth(Period::of(3, 2024))));
    r = tool({"export", "--year=003", "stary.csv", "--dir=" + dir});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(same("stary.csv", sh::Scope::ofYear("003")));
    r = tool({"--dir", dir, "export", "wszystko.xlsx"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "7 wpisów, 6 sum miesięcy, 4 sumy lat\n");
    EXPECT_TRUE(bytesOf(path("wszystko.xlsx")).startsWith("PK\x03\x04"));

    // Refused: exit 1, a message naming the file, nothing written.
    ASSERT_TRUE(QFile::link(QDir(dir).filePath(DayFile), path("tabela.csv")));
    const QByteArray table = bytesOf(QDir(dir).filePath(DayFile));
    r = tool({"export", "tabela.csv", "--dir", dir});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.startsWith("kwotnik-ledger: ") && r.err.contains("tabela.csv")) << r.err.toStdString();
    EXPECT_EQ(bytesOf(QDir(dir).filePath(DayFile)), table);
    r = tool({"export", "pusty.xlsx", "--year", "1999", "--dir", dir});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(QFile::exists(path("pusty.xlsx")));

    // Wrong usage: exit 2 with the command's usage.
    for (const QStringList &args : {QStringList{"export", "x.csv", "--month", "3", "--dir", dir},
                                    QStringList{"export", "x.csv", "--month", "13", "--year", "2024"},
                                    QStringList{"export", "x.csv", "--year", "20245X"},
                                    QStringList{"export", "x.txt"}, QStringList{"export", "x.csv", "--year"},
                                    QStringList{"export", "x.csv", "--year", "1", "--year", "2"},
                                    QStringList{"export"}, QStringList{"verify", dir, "--year", "2024"}}) {
        r = tool(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("użycie: kwotnik-ledger")) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path("x.csv")));
}
