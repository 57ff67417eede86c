#include "TestTables.h"
#include "ledger/EngineError.h"
#include "ledger/NumberText.h"

#include <cstring>
#include <string>

using kw::DbfFile;
using kw::EngineError;

namespace {

struct F
{
    std::string name;
    char type;
    int length;
    int decimals = 0;
};

// Builds a table image by hand, so each fault can be put in on purpose.
QByteArray makeDbf(const std::vector<F> &fields, const std::vector<std::string> &records,
                   std::uint8_t version = 0x03, std::uint8_t driver = 0xC8)
{
    const bool level7 = (version & 7) == 4;
    const int desc = level7 ? 48 : 32;
    const int first = level7 ? 68 : 32;
    const int headerLength = first + desc * int(fields.size()) + 1;
    int recordLength = 1;
    for (const auto &f : fields)
        recordLength += f.length;
    QByteArray b(headerLength, '\0');
    b[0] = char(version);
    b[1] = 124;
    b[2] = 1;
    b[3] = 2;
    const auto n = std::uint32_t(records.size());
    std::memcpy(b.data() + 4, &n, 4);
    b[8] = char(headerLength & 0xFF);
    b[9] = char(headerLength >> 8);
    b[10] = char(recordLength & 0xFF);
    b[11] = char(recordLength >> 8);
    b[29] = char(driver);
    int pos = first;
    for (const auto &f : fields) {
        std::memcpy(b.data() + pos, f.name.data(), f.name.size());
        b[pos + (level7 ? 32 : 11)] = f.type;
        b[pos + (level7 ? 33 : 16)] = char(f.length);
        b[pos + (level7 ? 34 : 17)] = char(f.decimals);
        pos += desc;
    }
    b[pos] = 0x0D;
    for (const auto &r : records) {
        std::string rec = r;
        rec.resize(std::size_t(recordLength), ' ');
        b.append(rec.data(), int(rec.size()));
    }
    b.append(char(0x1A));
    return b;
}

std::string expectFault(const QByteArray &bytes)
{
    try {
        DbfFile::fromBytes(bytes, QStringLiteral("Zly.dbf"));
    } catch (const EngineError &e) {
        return e.what();
    }
    return "(no error)";
}

const std::vector<F> kSimple{{"NAZWA", 'C', 10}, {"KWOTA", 'N', 12, 2}, {"DZIEN", 'D', 8}};

// A record of kSimple: flag, name left-aligned, amount right-aligned, date.
std::string simple(char flag, const std::string &name, const std::string &amount, const std::string &date)
{
    std::string r(1, flag);
    r += name + std::string(10 - name.size(), ' ');
    r += std::string(12 - amount.size(), ' ') + amount;
    r += date + std::string(8 - date.size(), ' ');
    return r;
}

} // namespace

TEST(DbfFile, SuppliedTablesHaveTheLedgerLayout)
{
    kwtest::LedgerDir dir;
    const QByteArray day = kwtest::readAll(dir.file(kw::ledger::DayFile));
    ASSERT_GE(day.size(), 34);
    EXPECT_EQ(std::uint8_t(day[0]), 0x03);
    EXPECT_EQ(std::uint8_t(day[29]), 0xC8);
    EXPECT_EQ(std::uint8_t(day.back()), 0x1A);
    auto f = DbfFile::open(dir.file(kw::ledger::DayFile));
    EXPECT_EQ(f->recordCount(), 0u);
    EXPECT_EQ(f->recordLength(), 260);
    EXPECT_EQ(f->headerLength(), 32 + 32 * 15 + 1);
    QStringList names;
    for (const auto &fd : f->fields())
        names << fd.name;
    EXPECT_EQ(names.join(','),
              "MIESIAC,ROK,DZIEN,PRZYCHOD,KOSZT,KOSZTOKR,OPLATY,ZYWNOSC,UZYWKI,ODZIEZ,ROZRYWKA,"
              "SAMOCH,INNE,DATA,UWAGI");
    EXPECT_EQ(f->fields()[3].type, 'N');
    EXPECT_EQ(f->fields()[3].length, 19);
    EXPECT_EQ(f->fields()[3].decimals, 4);
    auto m = DbfFile::open(dir.file(kw::ledger::MonthFile));
    EXPECT_EQ(m->fields().front().name, "ID");
    EXPECT_EQ(m->fields().front().length, 10);
    auto y = DbfFile::open(dir.file("Sum.DBF"));
    EXPECT_EQ(y->fields()[1].name, "RROK");
}

TEST(DbfFile, MalformedHeadersAreRefusedWithTheFileAndTheFault)
{
    const QByteArray good = makeDbf(kSimple, {simple(' ', "Ala", "12.50", "20040305")});
    ASSERT_EQ(expectFault(good), "(no error)");

    EXPECT_NE(expectFault(good.left(10)).find("Plik Zly.dbf: plik jest za krótki"), std::string::npos);

    QByteArray longHeader = good;
    longHeader[8] = char(0xFF);
    longHeader[9] = char(0x7F);
    EXPECT_NE(expectFault(longHeader).find("nagłówek jest ucięty"), std::string::npos);

    QByteArray badRecordLength = good;
    badRecordLength[10] = char(good[10] + 1);
    EXPECT_NE(
        expectFault(badRecordLength).find("długość rekordu w nagłówku (32) nie zgadza się z polami (31)"),
        std::string::npos);

    QByteArray tooMany = good;
    tooMany[4] = 9;
    EXPECT_NE(expectFault(tooMany).find("nagłówek podaje 9 rekordów"), std::string::npos);

    const QByteArray zeroWidth = makeDbf({{"A", 'C', 0}}, {});
    EXPECT_NE(expectFault(zeroWidth).find("pole A ma szerokość zero"), std::string::npos);

    // Other readers take descriptors without their terminator when the header length still places
    // the records: read, but never written (see NoTerminatorIsReadButNotWritten).
    QByteArray noTerminator = good;
    noTerminator[32 + 3 * 32] = 'X';
    EXPECT_EQ(expectFault(noTerminator), "(no error)");

    // A garbage type byte is shown by its value, never as a raw control character.
    QByteArray controlType = good;
    controlType[32 + 11] = char(0x01);
    const std::string controlFault = expectFault(controlType);
    EXPECT_NE(controlFault.find("pole NAZWA ma typ o kodzie 0x01"), std::string::npos) << controlFault;
    EXPECT_EQ(controlFault.find('\x01'), std::string::npos);

    const QByteArray memo = makeDbf({{"NOTATKA", 'M', 10}}, {});
    EXPECT_NE(expectFault(memo).find("pole NOTATKA ma typ „M”"), std::string::npos);

    const QByteArray binaryInLevel3 = makeDbf({{"ILE", 'I', 4}}, {});
    EXPECT_NE(expectFault(binaryInLevel3).find("pole ILE ma typ „I”"), std::string::npos);

    const QByteArray badDateWidth = makeDbf({{"KIEDY", 'D', 6}}, {});
    EXPECT_NE(expectFault(badDateWidth).find("szerokość 6 zamiast 8"), std::string::npos);

    QByteArray foxVersion = good;
    foxVersion[0] = 0x30;
    EXPECT_NE(expectFault(foxVersion).find("bajt wersji 0x30"), std::string::npos);
}

TEST(DbfFile, FieldValuesDecodeAndBlankIsNull)
{
    const QByteArray bytes =
        makeDbf(kSimple, {simple(' ', "Ala", "12.50", "20040305"), simple('*', "", "-3.5", ""),
                          simple(' ', "x", "abc", ""), simple(' ', "y", "********", "")});
    auto f = DbfFile::fromBytes(bytes);
    std::string rec(std::size_t(f->recordLength()), ' ');
    f->readRecord(0, rec.data());
    EXPECT_FALSE(DbfFile::isDeleted(rec.data()));
    EXPECT_EQ(f->decode(rec.data(), 0).toString(), "Ala");
    EXPECT_DOUBLE_EQ(f->decode(rec.data(), 1).toDouble(), 12.5);
    EXPECT_EQ(f->decode(rec.data(), 2).toDate(), QDate(2004, 3, 5));

    f->readRecord(1, rec.data());
    EXPECT_TRUE(DbfFile::isDeleted(rec.data()));
    EXPECT_TRUE(f->decode(rec.data(), 0).isNull());
    EXPECT_DOUBLE_EQ(f->decode(rec.data(), 1).toDouble(), -3.5);
    EXPECT_TRUE(f->decode(rec.data(), 2).isNull());

    f->readRecord(2, rec.data());
    try {
        f->decode(rec.data(), 1);
        ADD_FAILURE() << "a number field holding letters must be refused";
    } catch (const EngineError &e) {
        EXPECT_NE(std::string(e.what()).find("pole KWOTA zawiera „abc”, co nie jest liczbą"),
                  std::string::npos);
    }
    // A number too wide for its field was lost by its writer: damage, never a blank (0 in a sum).
    f->readRecord(3, rec.data());
    try {
        f->decode(rec.data(), 1);
        ADD_FAILURE() << "an overflowed numeric field read as "
                      << f->decode(rec.data(), 1).toString().toStdString();
    } catch (const EngineError &e) {
        EXPECT_NE(std::string(e.what()).find("„********”, czyli liczbę, która nie zmieściła się w polu"),
                  std::string::npos)
            << e.what();
    }
}

// The texts at the edges of what a double holds: the finite ones read exactly, the others are
// judged by the one check that decode() and the record checks share.
TEST(DbfFile, NumbersAtTheEdgesOfADouble)
{
    const struct
    {
        const char *text;
        double value;      // when it is a number
        const char *fault; // else
    } cases[] = {
        {"1e308", 1e308, nullptr},
        {"-1e308", -1e308, nullptr},
        {"1e-320", 1e-320, nullptr},
        {"+12.5", 12.5, nullptr},
        {"-0.0000", 0, nullptr},
        {"nan", 0, "co nie jest liczbą"},
        {"-inf", 0, "co nie jest liczbą"},
        {"infinity", 0, "co nie jest liczbą"},
        {"1e999", 0, "spoza zakresu"},
        {"*", 0, "nie zmieściła się w polu"},
        {"12,50", 0, "co nie jest liczbą"},
        {"1.5.2", 0, "co nie jest liczbą"},
    };
    const QByteArray bytes = makeDbf({{"KWOTA", 'N', 20, 4}}, [&] {
        std::vector<std::string> records;
        for (const auto &c : cases) {
            std::string r = std::string(" ") + std::string(20 - std::strlen(c.text), ' ') + c.text;
            records.push_back(r);
        }
        return records;
    }());
    auto f = DbfFile::fromBytes(bytes);
    std::string rec(std::size_t(f->recordLength()), ' ');
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        f->readRecord(i, rec.data());
        std::string_view stored = f->rawText(rec.data(), 0);
        stored.remove_prefix(stored.find_first_not_of(' '));
        const QString fault = kw::numberFault(stored);
        if (!cases[i].fault) {
            EXPECT_TRUE(fault.isEmpty()) << cases[i].text;
            EXPECT_EQ(f->decode(rec.data(), 0).toDouble(), cases[i].value) << cases[i].text;
            continue;
        }
        EXPECT_TRUE(fault.contains(QString::fromUtf8(cases[i].fault)))
            << cases[i].text << ": " << fault.toStdString();
        EXPECT_THROW(f->decode(rec.data(), 0), EngineError) << cases[i].text;
    }
    EXPECT_TRUE(kw::numberFault("").isEmpty()) << "a blank number is null, not damage";
}

TEST(DbfFile, NumbersAreWrittenWithTheFieldsDecimalsAndMustFit)
{
    auto f = DbfFile::fromBytes(makeDbf(kSimple, {}));
    std::string rec = f->blankRecord();
    f->encode(rec.data(), 1, 12.5);
    EXPECT_EQ(rec.substr(11, 12), "       12.50");
    f->encode(rec.data(), 1, -0.0);
    EXPECT_EQ(rec.substr(11, 12), "        0.00");
    f->encode(rec.data(), 1, QVariant());
    EXPECT_EQ(rec.substr(11, 12), std::string(12, ' '));
    EXPECT_THROW(f->encode(rec.data(), 1, 1e12), EngineError);
    EXPECT_THROW(f->encode(rec.data(), 1, std::numeric_limits<double>::quiet_NaN()), EngineError);
    f->encode(rec.data(), 2, QDate(1999, 12, 31));
    EXPECT_EQ(rec.substr(23, 8), "19991231");
}

// The ledger's amount fields, N(19,4): an amount that fills every character stores, one character
// more is refused, and a fifth decimal is rounded away.
TEST(DbfFile, AmountFieldsHoldNineteenCharactersWithFourDecimals)
{
    auto f = DbfFile::fromBytes(makeDbf({{"KWOTA", 'N', 19, 4}}, {}));
    std::string rec = f->blankRecord();
    const auto stored = [&] { return rec.substr(1, 19); };
    f->encode(rec.data(), 0, 12345678901234.5);
    EXPECT_EQ(stored(), "12345678901234.5000");
    EXPECT_DOUBLE_EQ(f->decode(rec.data(), 0).toDouble(), 12345678901234.5);
    f->encode(rec.data(), 0, -1234567890123.25);
    EXPECT_EQ(stored(), "-1234567890123.2500");
    EXPECT_DOUBLE_EQ(f->decode(rec.data(), 0).toDouble(), -1234567890123.25);
    EXPECT_THROW(f->encode(rec.data(), 0, 123456789012345.5), EngineError);
    EXPECT_THROW(f->encode(rec.data(), 0, -12345678901234.5), EngineError);
    f->encode(rec.data(), 0, 12.345678);
    EXPECT_EQ(stored(), "            12.3457");
}

TEST(DbfFile, TextFollowsTheLanguageDriverAndIsCutToTheFieldWidth)
{
    const QString polish = QStringLiteral("Zażółć gęślą jaźń ĄĘŁŃÓŚŹŻ");
    for (std::uint8_t driver : {std::uint8_t(0xC8), std::uint8_t(0x64), std::uint8_t(0x99)}) {
        auto f = DbfFile::fromBytes(makeDbf({{"UWAGI", 'C', 50}}, {}, 0x03, driver));
        std::string rec = f->blankRecord();
        f->encode(rec.data(), 0, polish);
        EXPECT_EQ(f->decode(rec.data(), 0).toString(), polish) << "driver " << int(driver);
    }
    // The same letter is a different byte in the Windows and the DOS code page.
    auto win = DbfFile::fromBytes(makeDbf({{"T", 'C', 1}}, {}, 0x03, 0xC8));
    auto dos = DbfFile::fromBytes(makeDbf({{"T", 'C', 1}}, {}, 0x03, 0x64));
    std::string a = win->blankRecord(), b = dos->blankRecord();
    win->encode(a.data(), 0, QStringLiteral("ł"));
    dos->encode(b.data(), 0, QStringLiteral("ł"));
    EXPECT_EQ(std::uint8_t(a[1]), 0xB3);
    EXPECT_EQ(std::uint8_t(b[1]), 0x88);
    auto cp437 = DbfFile::fromBytes(makeDbf({{"T", 'C', 3}}, {" \x81\x9B"}, 0x03, 0x01));
    std::string r(std::size_t(cp437->recordLength()), ' ');
    cp437->readRecord(0, r.data());
    EXPECT_EQ(cp437->decode(r.data(), 0).toString(), QStringLiteral("ü¢"));

    auto f = DbfFile::fromBytes(makeDbf({{"UWAGI", 'C', 5}}, {}));
    std::string rec = f->blankRecord();
    f->encode(rec.data(), 0, QStringLiteral("ąęółżźć"));
    EXPECT_EQ(f->decode(rec.data(), 0).toString(), QStringLiteral("ąęółż"));
    f->encode(rec.data(), 0, QStringLiteral("a😀b"));
    EXPECT_EQ(f->decode(rec.data(), 0).toString(), QStringLiteral("a?b"))
        << "one character outside the code page, one byte";
}

TEST(DbfFile, Level7BinaryFieldsRoundTrip)
{
    auto f = DbfFile::fromBytes(
        makeDbf({{"KWOTA", 'O', 8}, {"ILE", 'I', 4}, {"KIEDY", '@', 8}, {"NAZWA", 'C', 4}}, {}, 0x04));
    EXPECT_TRUE(f->isLevel7());
    std::string rec = f->blankRecord();
    f->encode(rec.data(), 0, -12.25);
    f->encode(rec.data(), 1, 1);
    const QDateTime when(QDate(2004, 3, 5), QTime(13, 45, 10, 250));
    f->encode(rec.data(), 2, when);
    EXPECT_DOUBLE_EQ(f->decode(rec.data(), 0).toDouble(), -12.25);
    EXPECT_EQ(f->decode(rec.data(), 1).toInt(), 1);
    EXPECT_EQ(f->decode(rec.data(), 2).toDateTime(), when);
    // Integers are stored big-endian with the sign bit flipped.
    EXPECT_EQ(std::uint8_t(rec[9]), 0x80);
    EXPECT_EQ(std::uint8_t(rec[12]), 0x01);
    f->encode(rec.data(), 0, 3.5);
    EXPECT_DOUBLE_EQ(f->decode(rec.data(), 0).toDouble(), 3.5);
    f->encode(rec.data(), 1, -7);
    EXPECT_EQ(f->decode(rec.data(), 1).toInt(), -7);
    f->encode(rec.data(), 1, QVariant());
    EXPECT_TRUE(f->decode(rec.data(), 1).isNull());
}

TEST(DbfFile, WritesInPlaceKeepTheHeaderAndTheEndMarkerRight)
{
    kwtest::LedgerDir dir;
    const QString path = dir.file("Sum.DBF");
    const QByteArray before = kwtest::readAll(path);
    {
        auto f = DbfFile::open(path);
        std::string rec = f->blankRecord();
        f->encode(rec.data(), f->fieldIndex(u"RROK"), QStringLiteral("2004"));
        EXPECT_EQ(f->appendRecord(rec.data()), 0u);
        EXPECT_EQ(f->appendRecord(rec.data()), 1u);
        f->encode(rec.data(), f->fieldIndex(u"RPRZYCH"), 7.0);
        rec[0] = '*';
        f->writeRecord(0, rec.data());
    }
    const QByteArray after = kwtest::readAll(path);
    auto f = DbfFile::open(path);
    EXPECT_EQ(f->recordCount(), 2u);
    EXPECT_EQ(after.size(), before.size() + 2 * f->recordLength());
    EXPECT_EQ(std::uint8_t(after.back()), 0x1A);
    EXPECT_EQ(f->lastUpdate(), QDate::currentDate());
    EXPECT_EQ(after.left(f->headerLength()).mid(12), before.left(f->headerLength()).mid(12))
        << "descriptors are never rewritten";
    std::string rec(std::size_t(f->recordLength()), ' ');
    f->readRecord(0, rec.data());
    EXPECT_TRUE(DbfFile::isDeleted(rec.data()));
    EXPECT_DOUBLE_EQ(f->decode(rec.data(), f->fieldIndex(u"RPRZYCH")).toDouble(), 7.0);
    f->readRecord(1, rec.data());
    EXPECT_FALSE(DbfFile::isDeleted(rec.data()));
    EXPECT_TRUE(f->decode(rec.data(), f->fieldIndex(u"RPRZYCH")).isNull());
}

TEST(DbfFile, CreateRefusesToOverwriteAnyCase)
{
    kwtest::LedgerDir dir;
    QFile::rename(dir.file("Sum.DBF"), dir.file("sum.dbf"));
    QFile::remove(dir.file("Wydatki.dbf"));
    QFile::remove(dir.file("Suma.dbf"));
    EXPECT_THROW(kw::ledger::createEmptyTables(dir.path()), EngineError);
    EXPECT_FALSE(QFile::exists(dir.file("Wydatki.dbf"))) << "nothing is written when one table exists";
}
