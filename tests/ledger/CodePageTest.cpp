// Every language-driver byte of the dBase and FoxPro tables of record, read back from text that
// another program (python3-dbf, iconv) encoded; characters a page cannot hold; field names.
#include "ledger/CodePage.h"
#include "TestTables.h"
#include "ledger/EngineError.h"
#include "tools/notepad/Rtf.h"

#include <QFileInfo>
#include <QProcess>
#include <map>

using kw::CodePage;
using kw::DbfFile;
using kwtest::LedgerDir;
using kwtest::readAll;
using kwtest::writeAll;

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

// A sample of each page's own language; Polish wherever the page holds it.
const std::map<int, QString> &samples()
{
    static const QString polish = QStringLiteral("Zażółć gęślą jaźń ĄĘŁŃÓŚŹŻĆ");
    static const QString western = QStringLiteral("Déjà vu, über façade");
    static const std::map<int, QString> s{
        {437, western},
        {620, polish},
        {737, QStringLiteral("Καλημέρα")},
        {850, western},
        {852, polish},
        {857, QStringLiteral("Günaydın ışık")},
        {860, western},
        {861, western},
        {863, western},
        {865, western},
        {866, QStringLiteral("Съешь же ещё")},
        {874, QStringLiteral("สวัสดี")},
        {895, QStringLiteral("Příliš žluťoučký kůň")},
        {932, QStringLiteral("こんにちは日本")},
        {936, QStringLiteral("你好中国")},
        {949, QStringLiteral("안녕하세요")},
        {950, QStringLiteral("你好台灣")},
        {1250, polish},
        {1251, QStringLiteral("Съешь же ещё")},
        {1252, western},
        {1253, QStringLiteral("Καλημέρα")},
        {1254, QStringLiteral("Günaydın ışık")},
        {1255, QStringLiteral("שלום")},
        {1256, QStringLiteral("مرحبا")},
        {1257, polish},
        {10000, western},
        {10007, QStringLiteral("Съешь же ещё")},
        {10029, polish},
    };
    return s;
}

// The two DOS pages no converter here knows, spelt out from their published charts.
QByteArray chartBytes(int page)
{
    if (page == 620) // Mazovia
        return QByteArray::fromHex("5a61a7a2928d2067919e6c86206a61a6a420"
                                   "8f909ca5a398a0a195");
    return QByteArray::fromHex("50a9a16c69a820916c759f6f75876b98206b96a4"); // Kamenický
}

// Bytes of the sample as the converter of the C library writes them.
QByteArray iconvBytes(int page, const QString &text)
{
    QProcess p;
    const QString name = page == 10000   ? QStringLiteral("MACINTOSH")
                         : page == 10007 ? QStringLiteral("MAC-CYRILLIC")
                         : page == 10029 ? QStringLiteral("MAC-CENTRALEUROPE")
                                         : QStringLiteral("CP%1").arg(page);
    p.start("iconv", {"-f", "UTF-8", "-t", name});
    p.write(text.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(30000);
    EXPECT_EQ(p.exitCode(), 0) << page;
    return p.readAllStandardOutput();
}

// python3-dbf's name of a page, where it knows it.
QString pythonName(int page)
{
    switch (page) {
    case 620:
    case 895:
    case 1257:
        return {};
    case 10000:
        return QStringLiteral("mac_roman");
    case 10007:
        return QStringLiteral("mac_cyrillic");
    case 10029:
        return QStringLiteral("mac_latin2");
    default:
        return QStringLiteral("cp%1").arg(page);
    }
}

bool hasPythonDbf()
{
    QProcess p;
    p.start(Python, {"-c", "import dbf"});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A one-field table (UWAGI C 60) holding the sample, written by python3-dbf where it can.
QString writeSample(const QString &dir, int page, bool python)
{
    const QString path = QDir(dir).filePath(QStringLiteral("cp%1.dbf").arg(page));
    const QString text = samples().at(page);
    const QString pyName = python ? pythonName(page) : QString();
    if (!pyName.isEmpty()) {
        QProcess p;
        p.start(Python, {"-c",
                         "import sys, dbf\n"
                         "t = dbf.Table(sys.argv[1], 'UWAGI C(60)', codepage=sys.argv[2], dbf_type='db3')\n"
                         "t.open(dbf.READ_WRITE)\n"
                         "t.append((sys.argv[3],))\n"
                         "t.close()\n",
                         path, pyName, text});
        p.waitForFinished(60000);
        EXPECT_EQ(p.exitCode(), 0) << page << p.readAllStandardError().toStdString();
        return path;
    }
    DbfFile::create(path, {{"UWAGI", 'C', 60, 0}});
    auto f = DbfFile::open(path);
    std::string record = f->blankRecord();
    const QByteArray bytes = page == 620 || page == 895 ? chartBytes(page) : iconvBytes(page, text);
    record.replace(1, std::size_t(bytes.size()), bytes.constData(), std::size_t(bytes.size()));
    f->appendRecord(record.data());
    return path;
}

void setDriverByte(const QString &path, std::uint8_t driver)
{
    QByteArray bytes = readAll(path);
    bytes[29] = char(driver);
    writeAll(path, bytes);
}

QString firstText(const QString &path)
{
    auto f = DbfFile::open(path);
    std::vector<char> record(std::size_t(f->recordLength()));
    f->readRecord(0, record.data());
    return f->decode(record.data(), 0).toString();
}

} // namespace

TEST(CodePages, EveryLanguageDriverByteReadsTextAnotherProgramWrote)
{
    const bool python = QFileInfo::exists(Python) && hasPythonDbf();
    LedgerDir d;
    std::map<int, QString> written;
    int bytesChecked = 0;
    for (int driver = 1; driver < 256; ++driver) {
        const int page = CodePage::numberForLanguageDriver(std::uint8_t(driver));
        if (page == 0 || page == 10006)
            continue;
        SCOPED_TRACE(
            QStringLiteral("driver 0x%1, page %2").arg(driver, 2, 16, QChar('0')).arg(page).toStdString());
        ASSERT_TRUE(samples().count(page));
        if (!written.count(page))
            written[page] = writeSample(d.path(), page, python);
        setDriverByte(written[page], std::uint8_t(driver));
        ASSERT_NE(CodePage::forLanguageDriver(std::uint8_t(driver)), nullptr);
        EXPECT_EQ(firstText(written[page]), samples().at(page));
        ++bytesChecked;
    }
    EXPECT_GE(bytesChecked, 66);
    if (!python)
        GTEST_SKIP() << "python3-dbf is not installed: the pages were checked against iconv alone";
}

TEST(CodePages, NoCodePageReadsAsCp1250AndAPageNobodyKnowsIsRefusedClearly)
{
    LedgerDir d;
    const QString path = writeSample(d.path(), 1250, false);
    setDriverByte(path, 0x00);
    EXPECT_EQ(firstText(path), samples().at(1250));
    setDriverByte(path, 0xEE); // listed nowhere
    EXPECT_EQ(firstText(path), samples().at(1250));

    // Mac Greek (0x98) has no converter in the C library: refused, never guessed.
    setDriverByte(path, 0x98);
    try {
        DbfFile::open(path);
        ADD_FAILURE() << "opened a table of an unknown code page";
    } catch (const kw::EngineError &e) {
        EXPECT_TRUE(e.message().contains("10006")) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("0x98")) << e.message().toStdString();
    }
}

TEST(CodePages, DumpSaysOnStderrWhenATableNamesNoCodePage)
{
    LedgerDir d;
    const QString path = writeSample(d.path(), 1250, false);
    const auto dump = [&] {
        QProcess p;
        p.start(QStringLiteral(KW_LEDGER_TOOL), {"dump", path});
        p.waitForFinished(30000);
        EXPECT_EQ(p.exitCode(), 0);
        return std::make_pair(QString::fromUtf8(p.readAllStandardOutput()),
                              QString::fromUtf8(p.readAllStandardError()));
    };
    setDriverByte(path, 0xC8);
    EXPECT_TRUE(dump().second.isEmpty());
    setDriverByte(path, 0x00);
    const auto [out, err] = dump();
    EXPECT_TRUE(out.contains(samples().at(1250))) << out.toStdString();
    EXPECT_TRUE(err.contains("0x00") && err.contains("cp1250")) << err.toStdString();
}

TEST(CodePages, OurDosTablesKeepEveryCp437CharacterTheyDoNotReplace)
{
    const CodePage *cp437 = CodePage::find(437);
    ASSERT_NE(cp437, nullptr);
    const QString polish = QStringLiteral("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
    const QString czech = QStringLiteral("áčďéěíĺľňóôŕřšťúůýžÁČĎÉĚÍĹĽŇÓÔŔŘŠŤÚŮÝŽäöüÄÖÜ§");
    for (int b = 0x80; b < 0x100; ++b) {
        const QChar maz = CodePage::find(620)->decodeByte(std::uint8_t(b));
        const QChar kam = CodePage::find(895)->decodeByte(std::uint8_t(b));
        if (!polish.contains(maz)) {
            EXPECT_EQ(maz, cp437->decodeByte(std::uint8_t(b))) << std::hex << b;
        }
        if (!czech.contains(kam)) {
            EXPECT_EQ(kam, cp437->decodeByte(std::uint8_t(b))) << std::hex << b;
        }
    }
    // Every Polish letter has its place in Mazovia, and each decodes back to itself.
    for (QChar c : polish) {
        const int b = CodePage::find(620)->encodeByte(c);
        ASSERT_GE(b, 0x80) << int(c.unicode());
        EXPECT_EQ(CodePage::find(620)->decodeByte(std::uint8_t(b)), c);
    }
}

TEST(CodePages, ACharacterThePageCannotHoldIsStoredAsAQuestionMark)
{
    LedgerDir d;
    const QString path = d.file("Wydatki.dbf");
    auto day = DbfFile::open(path); // cp1250
    const int note = day->fieldIndex("UWAGI");
    std::string record = day->blankRecord();
    day->encode(record.data(), note, QStringLiteral("Śnieg ☃ i € 😀 koniec"));
    const std::string_view stored = day->rawText(record.data(), note);
    EXPECT_EQ(stored, std::string_view("\x8cnieg ? i \x80 ? koniec"));
    EXPECT_EQ(day->decode(record.data(), note).toString(), QStringLiteral("Śnieg ? i € ? koniec"));

    // In a DOS page: no byte outside what cp437 defines, never half of anything.
    EXPECT_EQ(CodePage::find(437)->encode(QStringLiteral("żółw")), std::string("?\xa2?w"));
    // Two-byte pages are cut between characters, never inside one; a character cut off by another
    // program reads as U+FFFD, not as a stray byte.
    const CodePage *big5 = CodePage::find(950);
    ASSERT_TRUE(big5 && big5->isMultibyte());
    const std::string two = big5->encode(QStringLiteral("你好"), 3);
    EXPECT_EQ(two.size(), 2u);
    EXPECT_EQ(big5->decode(two), QStringLiteral("你"));
    EXPECT_EQ(big5->decode(big5->encode(QStringLiteral("你好")).substr(0, 3)), QStringLiteral("你\uFFFD"));
    EXPECT_EQ(big5->encode(QStringLiteral("ż你")), std::string("?") + big5->encode(QStringLiteral("你")));
}

TEST(CodePages, FieldNamesAreDecodedByTheTablesCodePage)
{
    LedgerDir d;
    const QString path = d.file("pola.dbf");
    DbfFile::create(path, {{"KWOTA", 'N', 10, 2}, {"UWAGI", 'C', 20, 0}}, 0x64); // cp852
    QByteArray bytes = readAll(path);
    bytes[32 + 2] = char(0xE0); // K W Ó T A: Ó in cp852
    writeAll(path, bytes);
    auto f = DbfFile::open(path);
    EXPECT_EQ(f->fields()[0].name, QStringLiteral("KWÓTA"));
    EXPECT_EQ(f->fieldIndex(QStringLiteral("kwóta")), 0);
}

TEST(CodePages, TheNotepadReadsAndWritesThroughTheSameTables)
{
    // \ansicpg852 and \'xx escapes: a page the notepad did not know before.
    EXPECT_EQ(kw::rtf::decodeByte(0xA5, 852), QChar(u'ą'));
    EXPECT_EQ(kw::rtf::decode("\xa5\x86", 852), QStringLiteral("ąć"));
    EXPECT_EQ(kw::rtf::encodeByte(QChar(u'ł'), 1250), CodePage::find(1250)->encodeByte(QChar(u'ł')));
    EXPECT_EQ(kw::rtf::encodeByte(QChar(u'☃'), 1250), -1);
    // A two-byte page cannot be read byte by byte: Western European as before, not garbage.
    EXPECT_EQ(kw::rtf::decodeByte(0xE9, 932), QChar(u'é'));
}
