// The RTF reader on files other programs write, and the writer's files read by other programs:
// LibreOffice, enscript, latex2rtf and unrtf, each skipped when it is not installed. About 15 s,
// nearly all of it LibreOffice starting headless for each conversion.
#include "tools/notepad/Rtf.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <gtest/gtest.h>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace kw::rtf;

namespace {

#define REQUIRE_TOOL(var, name)                                                                              \
    const QString var = QStandardPaths::findExecutable(QStringLiteral(name));                                \
    if (var.isEmpty())                                                                                       \
    GTEST_SKIP() << name << " is not installed"

// Runs a program to its end; the test fails with its output when it fails.
bool run(const QString &program, const QStringList &args, const QString &workDir, QByteArray *out = nullptr)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(out ? QProcess::SeparateChannels : QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(180000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAll().toStdString()
                      << p.readAllStandardError().toStdString();
        return false;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// LibreOffice converting files in the folder, with a profile of its own so that runs never meet.
bool soffice(const QString &program, const QTemporaryDir &dir, const QString &to, const QString &file)
{
    return run(
        program,
        {QStringLiteral("--headless"),
         QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(dir.filePath("profile")).toString(),
         QStringLiteral("--convert-to"), to, QStringLiteral("--outdir"), dir.path(), dir.filePath(file)},
        dir.path());
}

const kw::rtf::Run *runWith(const Document &d, const QString &text)
{
    for (const Paragraph &p : d.paragraphs)
        for (const Run &r : p.runs)
            if (r.text.contains(text))
                return &r;
    return nullptr;
}

const Paragraph *paragraphWith(const Document &d, const QString &text)
{
    for (const Paragraph &p : d.paragraphs)
        if (p.text().contains(text))
            return &p;
    return nullptr;
}

QStringList nonEmptyLines(const QString &text)
{
    QStringList out;
    for (const QString &l : text.split(QLatin1Char('\n')))
        if (!l.trimmed().isEmpty())
            out << l.trimmed();
    return out;
}

// What the notepad writes: every format it can give, Polish letters, a bullet list.
void fillNotepadDocument(QTextDocument &doc)
{
    doc.setDefaultFont(QFont(QStringLiteral("Arial"), 8));
    QTextCursor c(&doc);
    QTextCharFormat plain;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat times;
    times.setFontFamilies(QStringList{QStringLiteral("Times New Roman")});
    times.setFontPointSize(14);
    times.setFontItalic(true);
    QTextCharFormat red;
    red.setForeground(QColor(255, 0, 0));
    red.setFontUnderline(true);
    c.insertText(QStringLiteral("Zażółć "), plain);
    c.insertText(QStringLiteral("gęślą"), bold);
    c.insertText(QStringLiteral(" "), plain);
    c.insertText(QStringLiteral("jaźń"), times);
    c.insertText(QStringLiteral(" ŻÓŁW {nawias} \\ "), plain);
    c.insertText(QStringLiteral("czerwony"), red);
    QTextBlockFormat centre;
    centre.setAlignment(Qt::AlignHCenter);
    c.insertBlock(centre);
    c.insertText(QStringLiteral("Środek"), bold);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    c.insertBlock(right);
    c.insertText(QStringLiteral("Prawo"), plain);
    c.insertBlock(QTextBlockFormat());
    QTextListFormat lf;
    lf.setStyle(QTextListFormat::ListDisc);
    c.createList(lf);
    c.insertText(QStringLiteral("pierwszy punkt"), plain);
    c.insertBlock();
    c.insertText(QStringLiteral("drugi punkt"), plain);
    c.insertBlock(QTextBlockFormat());
    c.insertText(QStringLiteral("Koniec."), plain);
}

const QStringList NotepadLines = {QStringLiteral("Zażółć gęślą jaźń ŻÓŁW {nawias} \\ czerwony"),
                                  QStringLiteral("Środek"),
                                  QStringLiteral("Prawo"),
                                  QStringLiteral("pierwszy punkt"),
                                  QStringLiteral("drugi punkt"),
                                  QStringLiteral("Koniec.")};

} // namespace

TEST(RtfInterop, ReadsWhatLibreOfficeWrites)
{
    REQUIRE_TOOL(lo, "soffice");
    QTemporaryDir dir;
    writeAll(
        dir.filePath("in.html"),
        QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>"
                       "<p style=\"font-family:Arial;font-size:10pt\">Zażółć <b>gęślą</b> <i>jaźń</i> "
                       "<u>podkreślone</u> <font color=\"#ff0000\">czerwony</font></p>"
                       "<p align=\"center\" style=\"font-family:'Times New Roman';font-size:14pt\">Środek</p>"
                       "<p align=\"right\">Prawo</p>"
                       "<ul><li>pierwszy</li><li>drugi</li></ul>"
                       "<ol><li>numer</li></ol>"
                       "<p>Koniec</p></body></html>")
            .toUtf8());
    ASSERT_TRUE(soffice(lo, dir, QStringLiteral("rtf:Rich Text Format"), QStringLiteral("in.html")));
    const Document d = parse(readAll(dir.filePath("in.rtf")));

    const QStringList lines = nonEmptyLines(d.plainText());
    ASSERT_GE(lines.size(), 7) << d.plainText().toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Zażółć gęślą jaźń podkreślone czerwony"));
    EXPECT_EQ(lines[1], QStringLiteral("Środek"));
    EXPECT_EQ(lines[2], QStringLiteral("Prawo"));
    EXPECT_EQ(lines[3], QStringLiteral("pierwszy"));
    EXPECT_EQ(lines[4], QStringLiteral("drugi"));
    EXPECT_TRUE(lines[5].endsWith(QStringLiteral("numer"))); // a number stays, as text
    EXPECT_EQ(lines[6], QStringLiteral("Koniec"));

    const kw::rtf::Run *bold = runWith(d, QStringLiteral("gęślą"));
    ASSERT_TRUE(bold);
    EXPECT_TRUE(bold->bold && !bold->italic);
    EXPECT_EQ(bold->pointSize, 10.0);
    EXPECT_EQ(bold->font, QStringLiteral("Arial"));
    EXPECT_TRUE(runWith(d, QStringLiteral("jaźń"))->italic);
    EXPECT_TRUE(runWith(d, QStringLiteral("podkreślone"))->underline);
    EXPECT_EQ(runWith(d, QStringLiteral("czerwony"))->colour, QColor(255, 0, 0));
    const kw::rtf::Run *centre = runWith(d, QStringLiteral("Środek"));
    EXPECT_EQ(centre->font, QStringLiteral("Times New Roman"));
    EXPECT_EQ(centre->pointSize, 14.0);
    EXPECT_EQ(paragraphWith(d, QStringLiteral("Środek"))->align, Align::Centre);
    EXPECT_EQ(paragraphWith(d, QStringLiteral("Prawo"))->align, Align::Right);
    EXPECT_TRUE(paragraphWith(d, QStringLiteral("pierwszy"))->bullet);
    EXPECT_TRUE(paragraphWith(d, QStringLiteral("drugi"))->bullet);
    EXPECT_FALSE(paragraphWith(d, QStringLiteral("numer"))->bullet);
    EXPECT_FALSE(paragraphWith(d, QStringLiteral("Koniec"))->bullet);
}

TEST(RtfInterop, LibreOfficeReadsWhatWeWrite)
{
    REQUIRE_TOOL(lo, "soffice");
    QTemporaryDir dir;
    QTextDocument doc;
    fillNotepadDocument(doc);
    writeAll(dir.filePath("ours.rtf"), write(doc));

    // The text, Polish letters included, with LibreOffice's bullets in front of the list items.
    ASSERT_TRUE(soffice(lo, dir, QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("ours.rtf")));
    QString text = QString::fromUtf8(readAll(dir.filePath("ours.txt")));
    text.remove(QChar(0xFEFF));
    QStringList lines = nonEmptyLines(text);
    for (const int i : {3, 4}) {
        ASSERT_LT(i, lines.size());
        EXPECT_TRUE(lines[i].startsWith(QChar(0x2022))) << lines[i].toStdString();
        lines[i] = lines[i].mid(1).trimmed();
    }
    EXPECT_EQ(lines, NotepadLines);

    // And the formats: LibreOffice's own RTF of our file, read by our reader, has them all.
    QDir().mkpath(dir.filePath("lo"));
    ASSERT_TRUE(run(
        lo,
        {QStringLiteral("--headless"),
         QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(dir.filePath("profile")).toString(),
         QStringLiteral("--convert-to"), QStringLiteral("rtf:Rich Text Format"), QStringLiteral("--outdir"),
         dir.filePath("lo"), dir.filePath("ours.rtf")},
        dir.path()));
    const Document back = parse(readAll(dir.filePath("lo/ours.rtf")));
    EXPECT_EQ(nonEmptyLines(back.plainText()), NotepadLines);
    EXPECT_TRUE(runWith(back, QStringLiteral("gęślą"))->bold);
    const kw::rtf::Run *times = runWith(back, QStringLiteral("jaźń"));
    EXPECT_TRUE(times->italic);
    EXPECT_EQ(times->font, QStringLiteral("Times New Roman"));
    EXPECT_EQ(times->pointSize, 14.0);
    EXPECT_EQ(runWith(back, QStringLiteral("Zażółć"))->pointSize, 8.0);
    EXPECT_EQ(runWith(back, QStringLiteral("Zażółć"))->font, QStringLiteral("Arial"));
    const kw::rtf::Run *red = runWith(back, QStringLiteral("czerwony"));
    EXPECT_TRUE(red->underline);
    EXPECT_EQ(red->colour, QColor(255, 0, 0));
    EXPECT_EQ(paragraphWith(back, QStringLiteral("Środek"))->align, Align::Centre);
    EXPECT_EQ(paragraphWith(back, QStringLiteral("Prawo"))->align, Align::Right);
    EXPECT_TRUE(paragraphWith(back, QStringLiteral("pierwszy"))->bullet);
    EXPECT_TRUE(paragraphWith(back, QStringLiteral("drugi"))->bullet);
    EXPECT_FALSE(paragraphWith(back, QStringLiteral("Koniec"))->bullet);
}

TEST(RtfInterop, UnrtfReadsWhatWeWrite)
{
    REQUIRE_TOOL(unrtf, "unrtf");
    QTemporaryDir dir;
    QTextDocument doc;
    fillNotepadDocument(doc);
    writeAll(dir.filePath("ours.rtf"), write(doc));

    // unrtf's HTML carries every character (its plain-text output is 8-bit Latin-1, see below).
    QByteArray out;
    ASSERT_TRUE(run(unrtf, {QStringLiteral("--html"), dir.filePath("ours.rtf")}, dir.path(), &out));
    QString html = QString::fromUtf8(out);
    html = html.mid(html.indexOf(QLatin1String("<body")));
    html.remove(QLatin1Char('\n'));
    // The formats, as unrtf understood them.
    EXPECT_TRUE(html.contains(QLatin1String("<b>g&#281;&#347;l&#261;</b>"))) << out.constData();
    EXPECT_TRUE(html.contains(QLatin1String("<i>ja&#378;&#324;</i>"))) << out.constData();
    EXPECT_TRUE(html.contains(QLatin1String("<font face=\"Times New Roman\">"))) << out.constData();
    EXPECT_TRUE(html.contains(QLatin1String("<font color=\"#ff0000\"><u>czerwony</u>")) ||
                html.contains(QLatin1String("<u><font color=\"#ff0000\">czerwony")))
        << out.constData();
    const qsizetype centred = html.indexOf(QLatin1String("<center>"));
    EXPECT_TRUE(centred > html.indexOf(QLatin1String("czerwony")) &&
                centred < html.indexOf(QLatin1String("Prawo")))
        << out.constData();
    EXPECT_TRUE(html.contains(QLatin1String("<div align=\"right\">Prawo"))) << out.constData();
    // The text, Polish letters included, with a bullet before each list item.
    QString text = html;
    text.replace(QLatin1String("<br>"), QLatin1String("\n"));
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    QRegularExpression entity(QStringLiteral("&#([0-9]+);"));
    for (auto m = entity.match(text); m.hasMatch(); m = entity.match(text))
        text.replace(m.capturedStart(), m.capturedLength(), QChar(m.captured(1).toInt()));
    for (const auto &[name, ch] :
         {std::pair{"&bull;", u'\u2022'}, std::pair{"&nbsp;", u' '}, std::pair{"&oacute;", u'\u00F3'},
          std::pair{"&Oacute;", u'\u00D3'}, std::pair{"&lt;", u'<'}, std::pair{"&gt;", u'>'},
          std::pair{"&amp;", u'&'}})
        text.replace(QLatin1String(name), QString(QChar(ch)));
    QStringList lines = nonEmptyLines(text);
    for (const int i : {3, 4}) {
        ASSERT_LT(i, lines.size());
        EXPECT_TRUE(lines[i].startsWith(QChar(0x2022))) << lines[i].toStdString();
        lines[i] = lines[i].mid(1).trimmed();
    }
    EXPECT_EQ(lines, NotepadLines);

    // unrtf --text writes Latin-1: \u values are dropped and other letters cut to one byte, so
    // its plain text is compared on a document that Latin-1 can hold.
    QTextDocument latin;
    QTextCursor c(&latin);
    c.insertText(QStringLiteral("Café Müller {x} \\ y"));
    QTextBlockFormat centre;
    centre.setAlignment(Qt::AlignHCenter);
    c.insertBlock(centre);
    c.insertText(QStringLiteral("Straße zwei"));
    writeAll(dir.filePath("latin.rtf"), write(latin));
    ASSERT_TRUE(run(unrtf, {QStringLiteral("--text"), dir.filePath("latin.rtf")}, dir.path(), &out));
    QStringList plain;
    for (const QString &l : nonEmptyLines(QString::fromLatin1(out)))
        if (!l.startsWith(QLatin1String("###")) && l != QLatin1String("-----------------"))
            plain << l;
    EXPECT_EQ(plain, (QStringList{QStringLiteral("Café Müller {x} \\ y"), QStringLiteral("Straße zwei")}));
}

TEST(RtfInterop, ReadsWhatEnscriptWrites)
{
    REQUIRE_TOOL(enscript, "enscript");
    QTemporaryDir dir;
    // enscript writes its input's bytes as they are and declares no code page: Latin-1 text. (It
    // does not escape a backslash, so there is none here.)
    writeAll(dir.filePath("in.txt"),
             QStringLiteral("Pierwsza linia\nCafé Müller\tz tabulatorem\n\nkoniec {}\n").toLatin1());
    ASSERT_TRUE(run(enscript,
                    {QStringLiteral("-q"), QStringLiteral("-w"), QStringLiteral("rtf"), QStringLiteral("-o"),
                     dir.filePath("out.rtf"), dir.filePath("in.txt")},
                    dir.path()));
    const Document d = parse(readAll(dir.filePath("out.rtf")));
    EXPECT_EQ(nonEmptyLines(d.plainText().replace(QChar(0x2028), QLatin1Char('\n'))),
              (QStringList{QStringLiteral("Pierwsza linia"), QStringLiteral("Café Müller\tz tabulatorem"),
                           QStringLiteral("koniec {}")}));
    const kw::rtf::Run *r = runWith(d, QStringLiteral("Café"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->font, QStringLiteral("Courier New"));

    // With highlighting, keywords come out bold.
    writeAll(dir.filePath("prog.c"), "int main(void)\n{\n    return 0;\n}\n");
    ASSERT_TRUE(run(enscript,
                    {QStringLiteral("-q"), QStringLiteral("-w"), QStringLiteral("rtf"), QStringLiteral("-Ec"),
                     QStringLiteral("-o"), dir.filePath("prog.rtf"), dir.filePath("prog.c")},
                    dir.path()));
    const Document c = parse(readAll(dir.filePath("prog.rtf")));
    EXPECT_TRUE(c.plainText().contains(QStringLiteral("return 0;")));
    const kw::rtf::Run *keyword = runWith(c, QStringLiteral("return"));
    ASSERT_TRUE(keyword);
    EXPECT_TRUE(keyword->bold);
    EXPECT_FALSE(runWith(c, QStringLiteral(" 0;"))->bold);
}

TEST(RtfInterop, ReadsWhatLatex2rtfWrites)
{
    REQUIRE_TOOL(latex2rtf, "latex2rtf");
    QTemporaryDir dir;
    writeAll(dir.filePath("doc.tex"), QStringLiteral(R"(\documentclass{article}
\usepackage[utf8]{inputenc}
\begin{document}
Zwykły tekst z \textbf{pogrubieniem}, \textit{kursywą} i \underline{podkreśleniem}.

\begin{center}
Wyśrodkowany akapit
\end{center}

\begin{flushright}
Do prawej
\end{flushright}

\begin{itemize}
\item pierwszy punkt
\item drugi punkt
\end{itemize}

{\large Duży tekst} i {\small mały}.
\end{document}
)")
                                          .toUtf8());
    ASSERT_TRUE(
        run(latex2rtf, {QStringLiteral("-o"), dir.filePath("doc.rtf"), dir.filePath("doc.tex")}, dir.path()));
    const Document d = parse(readAll(dir.filePath("doc.rtf")));
    const QStringList lines = nonEmptyLines(d.plainText());
    EXPECT_TRUE(lines.contains(QStringLiteral("Zwykły tekst z pogrubieniem, kursywą i podkreśleniem.")))
        << d.plainText().toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Wyśrodkowany akapit")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Do prawej")));
    // latex2rtf writes list bullets as text of their own paragraph.
    EXPECT_TRUE(lines.contains(QStringLiteral("\u2022\tpierwszy punkt"))) << d.plainText().toStdString();
    EXPECT_TRUE(runWith(d, QStringLiteral("pogrubieniem"))->bold);
    EXPECT_TRUE(runWith(d, QStringLiteral("kursywą"))->italic);
    EXPECT_TRUE(runWith(d, QStringLiteral("podkreśleniem"))->underline);
    EXPECT_FALSE(runWith(d, QStringLiteral("Zwykły"))->bold);
    EXPECT_EQ(paragraphWith(d, QStringLiteral("Wyśrodkowany"))->align, Align::Centre);
    EXPECT_EQ(paragraphWith(d, QStringLiteral("Do prawej"))->align, Align::Right);
    EXPECT_GT(runWith(d, QStringLiteral("Duży"))->pointSize, runWith(d, QStringLiteral("mały"))->pointSize);
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
