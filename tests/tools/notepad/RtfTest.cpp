// The RTF reader and writer on their own: what files say, what they leave out, what breaks them,
// and whether a document survives being written and read back.
#include "tools/notepad/Rtf.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <gtest/gtest.h>

#include <ostream>

// Readable failures.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QColor &c, std::ostream *os)
{
    *os << c.name(QColor::HexArgb).toStdString();
}
QT_END_NAMESPACE

using namespace kw::rtf;

namespace {

Document parseText(const char *rtf)
{
    return parse(QByteArray(rtf));
}

QString text(const char *rtf)
{
    return parseText(rtf).plainText();
}

const QString Polish = QStringLiteral("Zażółć gęślą jaźń ZAŻÓŁĆ GĘŚLĄ JAŹŃ");

} // namespace

TEST(RtfRead, TextParagraphsAndSpecialCharacters)
{
    EXPECT_EQ(text(R"({\rtf1 Hello\par World})"), "Hello\nWorld");
    // The last \par ends the last paragraph; it does not start one more.
    EXPECT_EQ(parseText(R"({\rtf1 a\par b\par })").paragraphs.size(), 2u);
    EXPECT_EQ(parseText(R"({\rtf1 a\par\par })").paragraphs.size(), 2u);
    // A control word eats one space; the next is text. Raw line ends are not text.
    EXPECT_EQ(text("{\\rtf1 \\b  bold\r\n text}"), " bold text");
    EXPECT_EQ(text(R"({\rtf1 a\tab b\line c\~d\{\}\\})"), QStringLiteral("a\tb\u2028c\u00A0d{}\\"));
    EXPECT_EQ(text(R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})"),
              QStringLiteral("\u2014\u2013\u2022\u2018\u2019\u201C\u201D"));
    // "\<newline>" is a paragraph mark as well.
    EXPECT_EQ(text("{\\rtf1 a\\\nb}"), "a\nb");
    // Table cells end as tabs, rows as paragraphs.
    EXPECT_EQ(text(R"({\rtf1\trowd a\cell b\cell\row c})"), "a\tb\t\nc");
}

TEST(RtfRead, CodePagesAndUnicode)
{
    // The document's code page, and a font's own character set overriding it.
    EXPECT_EQ(text(R"({\rtf1\ansi\ansicpg1250 \'af\'f3\'b3\'e6})"), QStringLiteral("Żółć"));
    EXPECT_EQ(text(R"({\rtf1\ansi\ansicpg1252 \'e9\'80})"), QStringLiteral("é€"));
    EXPECT_EQ(
        text(R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 Arial;}{\f1\fcharset238 Arial CE;}}\f1\'b9\f0\'b9})"),
        QStringLiteral("ą¹"));
    EXPECT_EQ(text(R"({\rtf1\ansi{\fonttbl{\f0\fcharset204 Arial;}}\f0\'c4\'e0})"), QStringLiteral("Да"));
    // \u with its fallback skipped: one character by default, \uc says how many, \'hh counts as one.
    EXPECT_EQ(text(R"({\rtf1 \u380?\u243\'f3 x})"), QStringLiteral("żó x"));
    EXPECT_EQ(text(R"({\rtf1\uc2 \u322 ab\uc0 \u261 c})"), QStringLiteral("łąc"));
    // Negative values stand for the upper half; a group ends the skipping.
    EXPECT_EQ(text(R"({\rtf1 \u-3913?\uc3 {\u8364}ab})"), QStringLiteral("\uF0B7€ab"));
    // \uc is kept per group.
    EXPECT_EQ(text(R"({\rtf1\uc0 {\uc1 \u261?}\u261?})"), QStringLiteral("ąą?"));
    // Surrogate pairs written as two \u come back as one character.
    EXPECT_EQ(text(R"({\rtf1 \u-10179?\u-8704?})"), QStringLiteral("\U0001F600"));
}

TEST(RtfRead, CharacterFormatting)
{
    const Document d = parseText(
        R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\froman\fprq2 Times New Roman{\*\falt Times};}})"
        R"({\colortbl;\red255\green0\blue0;\red0\green0\blue128;})"
        R"(\f1\fs28\b B\b0\i I\i0\ul U\ulnone x\uldb D\ul0\strike S\strike0{\cf1 R}{\cf2\f0\fs17 N}\plain P})");
    ASSERT_EQ(d.paragraphs.size(), 1u);
    const auto &r = d.paragraphs[0].runs;
    ASSERT_EQ(r.size(), 9u);
    EXPECT_EQ(d.plainText(), "BIUxDSRNP");
    EXPECT_TRUE(r[0].bold);
    EXPECT_EQ(r[0].font, "Times New Roman");
    EXPECT_EQ(r[0].pointSize, 14.0);
    EXPECT_TRUE(r[1].italic && !r[1].bold);
    EXPECT_TRUE(r[2].underline && !r[2].italic);
    EXPECT_FALSE(r[3].underline);
    EXPECT_TRUE(r[4].underline);
    EXPECT_TRUE(r[5].strikeOut && !r[5].underline);
    EXPECT_EQ(r[6].colour, QColor(255, 0, 0));
    EXPECT_FALSE(r[6].strikeOut);
    EXPECT_EQ(r[7].colour, QColor(0, 0, 128));
    EXPECT_EQ(r[7].font, "Arial");
    EXPECT_EQ(r[7].pointSize, 8.5);
    // \plain returns to the default font (\deff0) at 12 points, no style, automatic colour.
    EXPECT_EQ(r[8].font, "Arial");
    EXPECT_EQ(r[8].pointSize, 12.0);
    EXPECT_FALSE(r[8].colour.isValid());
    EXPECT_FALSE(r[8].bold || r[8].italic || r[8].underline || r[8].strikeOut);

    // Groups restore what they changed; \cf0 is the automatic colour; hidden text is not shown.
    const Document g =
        parseText(R"({\rtf1{\colortbl;\red1\green2\blue3;}a{\b b{\i c}d}{\cf1 e\cf0 f}{\v g}h})");
    const auto &s = g.paragraphs[0].runs;
    ASSERT_EQ(g.plainText(), "abcdefh");
    ASSERT_EQ(s.size(), 6u);
    EXPECT_TRUE(s[1].bold && !s[1].italic);
    EXPECT_TRUE(s[2].bold && s[2].italic);
    EXPECT_TRUE(s[3].bold && !s[3].italic && s[3].text == "d");
    EXPECT_EQ(s[4].colour, QColor(1, 2, 3));
    EXPECT_FALSE(s[5].colour.isValid());
    EXPECT_EQ(s[5].text, "fh");
}

TEST(RtfRead, FontAndColourTablesInTheirVariousForms)
{
    // Entries without their own groups, a name in another character set, an entry missing its ';'.
    const Document d = parseText(
        R"({\rtf1\ansi{\fonttbl\f0\fnil Helvetica;\f1\fnil\fcharset238 \'a3\'f3d\'9f;}{\fonttbl{\f2 Courier}})"
        R"(\f0 a\f1 b\f2 c\f9 d})");
    const auto &r = d.paragraphs[0].runs;
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].font, "Helvetica");
    EXPECT_EQ(r[1].font, QStringLiteral("Łódź"));
    EXPECT_EQ(r[2].font, "Courier");
    EXPECT_EQ(r[3].font, ""); // an unknown font number: the document's default face
}

TEST(RtfRead, AlignmentAndParagraphDefaults)
{
    const Document d = parseText(R"({\rtf1\qc a\par b\par\pard c\par\qr d\par\qj e\par\pard\ql f})");
    ASSERT_EQ(d.paragraphs.size(), 6u);
    // Paragraph properties last until \pard.
    EXPECT_EQ(d.paragraphs[0].align, Align::Centre);
    EXPECT_EQ(d.paragraphs[1].align, Align::Centre);
    EXPECT_EQ(d.paragraphs[2].align, Align::Left);
    EXPECT_EQ(d.paragraphs[3].align, Align::Right);
    EXPECT_EQ(d.paragraphs[4].align, Align::Justify);
    EXPECT_EQ(d.paragraphs[5].align, Align::Left);
}

TEST(RtfRead, BulletsInEveryForm)
{
    // Lists as word processors write them: the bullet as \listtext ...
    Document d = parseText(R"({\rtf1\pard{\listtext\pard\plain\f5 \u8226\'95\tab}\ls1 one\par)"
                           R"(\pard{\listtext\pard\plain \'b7\tab}\ls1 two\par\pard three\par})");
    ASSERT_EQ(d.paragraphs.size(), 3u);
    EXPECT_TRUE(d.paragraphs[0].bullet);
    EXPECT_TRUE(d.paragraphs[1].bullet);
    EXPECT_FALSE(d.paragraphs[2].bullet);
    EXPECT_EQ(d.plainText(), "one\ntwo\nthree");

    // ... as the older \pn properties with \pntext, which last until \pard ...
    d = parseText(
        R"({\rtf1\pard{\pntext\f1\'b7\tab}{\*\pn\pnlvlblt\pnf1\pnindent0{\pntxtb\'b7}}\fi-360\li360 a\par )"
        R"(b\par\pard c})");
    ASSERT_EQ(d.paragraphs.size(), 3u);
    EXPECT_TRUE(d.paragraphs[0].bullet);
    EXPECT_TRUE(d.paragraphs[1].bullet);
    EXPECT_FALSE(d.paragraphs[2].bullet);
    EXPECT_EQ(d.plainText(), "a\nb\nc");

    // ... and a numbered list keeps its numbers as text rather than turning into bullets.
    d = parseText(
        R"({\rtf1\pard{\listtext 1.\tab}\ls2 first\par\pard{\pntext\b 2)\tab}{\*\pn\pnlvlbody\pndec}second\par})");
    EXPECT_FALSE(d.paragraphs[0].bullet);
    EXPECT_FALSE(d.paragraphs[1].bullet);
    EXPECT_EQ(d.plainText(), "1.\tfirst\n2)\tsecond");
    EXPECT_TRUE(d.paragraphs[1].runs[0].bold);
}

TEST(RtfRead, DestinationsThatHoldNoText)
{
    const char *rtf = R"({\rtf1{\stylesheet{\s0 Normal;}}{\info{\title T}{\author A}}{\*\generator G;})"
                      R"({\header H}{\footer F}{\*\unknownthing U}{\*\bkmkstart b}x{\pict\pngblip 89504e47})"
                      R"({\*\cs15 style}{\field{\*\fldinst HYPERLINK "u"}{\fldrslt link}}{\footnote N}y})";
    EXPECT_EQ(text(rtf), "xlinky");
    // An unknown control word is dropped, its group's text is not; \bin data is skipped whole.
    EXPECT_EQ(text(R"({\rtf1 a\foo123 b{\bar c}\bin3 }}}d})"), "abcd");
}

TEST(RtfRead, MalformedInputLoadsWhatItCanOrRefuses)
{
    // Not RTF at all.
    EXPECT_THROW(parse("plain text"), LoadError);
    EXPECT_THROW(parse(""), LoadError);
    EXPECT_THROW(parse("{\\rt"), LoadError);
    // Truncated in the middle of a group, a word, a \' escape or a \u fallback.
    EXPECT_EQ(text(R"({\rtf1 abc{\b de)"), "abcde");
    EXPECT_EQ(text(R"({\rtf1 abc\pa)"), "abc");
    EXPECT_EQ(text(R"({\rtf1 abc\'4)"), "abc");
    EXPECT_EQ(text(R"({\rtf1 abc\)"), "abc");
    EXPECT_EQ(text(R"({\rtf1\uc5 x\u261)"), QStringLiteral("xą"));
    // A stray closing brace ends the document; so does the document's own.
    EXPECT_EQ(text(R"({\rtf1 a}b}c)"), "a");
    EXPECT_EQ(text(R"({\rtf1 a{}}}}c)"), "a");
    // Huge and negative numbers are clamped, never wrapped.
    const Document big =
        parseText(R"({\rtf1\fs99999999999999999999 a\fs-5 b\fs0 c\cf99999999999 d\u99999999 e})");
    ASSERT_EQ(big.paragraphs[0].runs.size(), 1u);
    EXPECT_EQ(big.paragraphs[0].runs[0].pointSize, MaxPointSize);
    EXPECT_EQ(big.plainText(), QStringLiteral("abcd\uFFFD"));
    EXPECT_EQ(text(R"({\rtf1\bin99999999999 abc})"), "");
    EXPECT_EQ(text(R"({\rtf1\uc99999 \u261 abc})"), QStringLiteral("ą"));
    // Characters the document keeps for its own structure never get in.
    EXPECT_EQ(text("{\\rtf1\\uc0 a\\u0 \\u8233 \\u64976 \\u65532 b\x01}"), "ab");
    // Nesting: deep enough is read, deeper than any writer goes is refused.
    QByteArray deep = "{\\rtf1 ";
    deep += QByteArray(MaxDepth - 1, '{') + "x" + QByteArray(MaxDepth - 1, '}') + "}";
    EXPECT_EQ(parse(deep).plainText(), "x");
    QByteArray deeper = "{\\rtf1 " + QByteArray(MaxDepth + 10, '{') + "x";
    EXPECT_THROW(parse(deeper), LoadError);
    // A very long control word is no word.
    EXPECT_EQ(text(("{\\rtf1 \\" + QByteArray(100000, 'b') + " x}").constData()), "x");
}

TEST(RtfRead, IsRtf)
{
    EXPECT_TRUE(isRtf("{\\rtf1 x}"));
    EXPECT_TRUE(isRtf("\xEF\xBB\xBF \r\n{\\rtf"));
    EXPECT_FALSE(isRtf("x{\\rtf1}"));
    EXPECT_FALSE(isRtf("{\\rt"));
}

TEST(RtfRead, BuildGivesTheEditorItsFormats)
{
    QTextDocument doc;
    read(
        R"({\rtf1{\fonttbl{\f0 Arial;}{\f1 Courier New;}}{\colortbl;\red0\green128\blue0;})"
        R"(\pard\qc\f1\fs20\b Tytu\u322?\par\pard{\listtext \'95\tab}\f0\fs16 a\par{\listtext \'95\tab}{\cf1 b}\par)"
        R"(\pard\qr end\par})",
        &doc);
    ASSERT_EQ(doc.blockCount(), 4);
    QTextBlock b = doc.begin();
    EXPECT_EQ(b.text(), QStringLiteral("Tytuł"));
    EXPECT_EQ(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const QTextCharFormat f = b.begin().fragment().charFormat();
    EXPECT_EQ(f.fontFamilies().toStringList(), QStringList{"Courier New"});
    EXPECT_EQ(f.fontPointSize(), 10.0);
    EXPECT_EQ(f.fontWeight(), QFont::Bold);
    b = b.next();
    ASSERT_NE(b.textList(), nullptr);
    EXPECT_EQ(b.textList()->format().style(), QTextListFormat::ListDisc);
    // Neighbouring bulleted paragraphs make one list.
    EXPECT_EQ(b.next().textList(), b.textList());
    EXPECT_EQ(b.next().begin().fragment().charFormat().foreground().color(), QColor(0, 128, 0));
    b = b.next().next();
    EXPECT_EQ(b.textList(), nullptr);
    EXPECT_EQ(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    // A refused document leaves the target as it was.
    EXPECT_THROW(read("no rtf", &doc), LoadError);
    EXPECT_EQ(doc.blockCount(), 4);
}

namespace {

// A document with everything the notepad can give text: two fonts and sizes, the three styles and
// strike-out, a colour, the four alignments, a bullet list, an empty paragraph, tabs, line breaks,
// RTF's special characters, Polish letters, other scripts and a character outside the BMP.
void fillSample(QTextDocument &doc)
{
    doc.setDefaultFont(QFont(QStringLiteral("Arial"), 8));
    QTextCursor c(&doc);
    QTextCharFormat plain;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat italic;
    italic.setFontItalic(true);
    italic.setFontFamilies(QStringList{QStringLiteral("Times New Roman")});
    italic.setFontPointSize(14);
    QTextCharFormat under;
    under.setFontUnderline(true);
    under.setForeground(QColor(200, 0, 0));
    QTextCharFormat strike;
    strike.setFontStrikeOut(true);
    strike.setFontPointSize(9.5);

    c.insertText(Polish + QStringLiteral(" "), plain);
    c.insertText(QStringLiteral("gruby"), bold);
    c.insertText(QStringLiteral(" {\\} "), plain);
    c.insertText(QStringLiteral("kursywa"), italic);
    c.insertText(QStringLiteral("\t"), plain);
    c.insertText(QStringLiteral("podkreślenie"), under);
    c.insertText(QStringLiteral("\u2028"), plain);
    c.insertText(QStringLiteral("przekreślenie"), strike);

    QTextBlockFormat centre;
    centre.setAlignment(Qt::AlignHCenter);
    c.insertBlock(centre);
    c.insertText(QStringLiteral("Środek – €100 Да \U0001F600"), bold);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    c.insertBlock(right);
    c.insertText(QStringLiteral("Prawo"), plain);
    c.insertBlock(QTextBlockFormat());
    QTextListFormat lf;
    lf.setStyle(QTextListFormat::ListDisc);
    c.createList(lf);
    c.insertText(QStringLiteral("pierwszy"), plain);
    c.insertBlock();
    c.insertText(QStringLiteral("drugi"), italic);
    QTextBlockFormat justify;
    justify.setAlignment(Qt::AlignJustify);
    c.insertBlock(justify);
    c.insertBlock(QTextBlockFormat(), italic); // empty, but with its own height
    c.insertText(QStringLiteral("koniec"), plain);
}

struct Shape
{
    QString text;
    int align;
    bool bullet;
    QList<QPair<QString, QString>> fragments; // text, look
};

QString lookText(const QTextCharFormat &f, const QFont &def)
{
    const QFont r = f.font().resolve(def);
    return QStringLiteral("%1/%2/%3%4%5%6/%7")
        .arg(r.family())
        .arg(r.pointSizeF())
        .arg(r.bold())
        .arg(r.italic())
        .arg(r.underline())
        .arg(r.strikeOut())
        .arg(f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color().name() : QString());
}

QList<Shape> shapeOf(const QTextDocument &doc)
{
    QList<Shape> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        Shape s{b.text(),
                int(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask),
                b.textList() != nullptr,
                {}};
        // Neighbouring fragments with the same look are one run, however the editor split them.
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QString look = lookText(it.fragment().charFormat(), doc.defaultFont());
            if (!s.fragments.isEmpty() && s.fragments.back().second == look)
                s.fragments.back().first += it.fragment().text();
            else
                s.fragments.append({it.fragment().text(), look});
        }
        if (b.text().isEmpty())
            s.fragments.append({QString(), lookText(b.charFormat(), doc.defaultFont())});
        out.append(s);
    }
    return out;
}

void expectSameDocument(const QTextDocument &a, const QTextDocument &b)
{
    const QList<Shape> sa = shapeOf(a);
    const QList<Shape> sb = shapeOf(b);
    ASSERT_EQ(sa.size(), sb.size());
    for (int i = 0; i < sa.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sa[i].text, sb[i].text);
        EXPECT_EQ(sa[i].align == Qt::AlignLeft || sa[i].align == 0 ? int(Qt::AlignLeft) : sa[i].align,
                  sb[i].align == Qt::AlignLeft || sb[i].align == 0 ? int(Qt::AlignLeft) : sb[i].align);
        EXPECT_EQ(sa[i].bullet, sb[i].bullet);
        EXPECT_EQ(sa[i].fragments, sb[i].fragments);
    }
}

} // namespace

TEST(RtfWrite, RoundTripKeepsTheWholeDocument)
{
    QTextDocument original;
    fillSample(original);
    const QByteArray rtf = write(original);
    // Pure 7-bit output: nothing depends on a code page.
    for (const char ch : rtf)
        ASSERT_LT(static_cast<unsigned char>(ch), 0x80);

    QTextDocument back;
    back.setDefaultFont(QFont(QStringLiteral("Arial"), 8));
    read(rtf, &back);
    expectSameDocument(original, back);
    // And once more: the written form is stable.
    EXPECT_EQ(write(back), rtf);
}

TEST(RtfWrite, RoundTripFromAFileKeepsWhatItShows)
{
    const char *rtf = R"({\rtf1\ansi\ansicpg1250\deff0{\fonttbl{\f0 Arial;}{\f1\fcharset238 Verdana;}})"
                      R"({\colortbl;\red0\green0\blue255;}\pard\qc\f1\fs30\b\'a3\'f3d\'9f\b0\par)"
                      R"(\pard{\listtext\'95\tab}\f0\fs16 jeden\par{\listtext\'95\tab}{\cf1\ul dwa}\par)"
                      R"(\pard\par\pard\qr\i koniec\par})";
    QTextDocument first;
    read(rtf, &first);
    QTextDocument second;
    read(write(first), &second);
    expectSameDocument(first, second);
    EXPECT_EQ(second.toPlainText(), QStringLiteral("Łódź\njeden\ndwa\n\nkoniec"));
}

TEST(RtfWrite, TextEscapesAndDefaults)
{
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("Arial"), 8));
    QTextCursor(&doc).insertText(QStringLiteral("a{b}c\\d ł\u20AC"));
    const QByteArray rtf = write(doc);
    // Non-ASCII as \u with the same letter in the declared code page as the fallback, or '?'.
    EXPECT_TRUE(rtf.contains(R"(a\{b\}c\\d \u322\'b3\u8364\'80)")) << rtf.constData();
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1250")) << rtf.constData();
    QTextDocument other;
    QTextCursor(&other).insertText(QStringLiteral("Да") + Polish);
    const QByteArray both = write(other);
    EXPECT_TRUE(both.contains(R"(\u1044?\u1072?Za\u380\'bf\u243\'f3)")) << both.constData();
    // So a reader that knows no \u still reads the Polish letters.
    QString noU = QString::fromLatin1(both);
    noU.remove(QRegularExpression(QStringLiteral(R"(\\u-?[0-9]+)")));
    EXPECT_EQ(parse(noU.toLatin1()).plainText(), QStringLiteral("??") + Polish);
    // Text with no format of its own is written in the document's default font and size.
    EXPECT_TRUE(rtf.contains("{\\f0\\fnil\\fcharset238 Arial;}")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("\\plain\\f0\\fs16 ")) << rtf.constData();
    // An empty document is one empty paragraph, and reads back as one.
    QTextDocument empty;
    QTextDocument back;
    read(write(empty), &back);
    EXPECT_EQ(back.blockCount(), 1);
    EXPECT_TRUE(back.toPlainText().isEmpty());
}

// Characters above U+7FFF are written as the negative half of a signed 16-bit number, checked on the
// bytes themselves: a tolerant reader would accept an unsigned number just as well.
TEST(RtfWrite, UnicodeAboveTheSignedRangeIsWrittenNegative)
{
    QTextDocument doc;
    QTextCursor(&doc).insertText(QStringLiteral("\uFB01 \uFFFD\u8000\u7FFF \U0001F600"));
    const QByteArray rtf = write(doc);
    EXPECT_TRUE(rtf.contains(R"(\u-1279? \u-3?\u-32768?\u32767?)")) << rtf.constData();
    // A character beyond the 16-bit plane: its two surrogates, each signed.
    EXPECT_TRUE(rtf.contains(R"(\u-10179?\u-8704?)")) << rtf.constData();
    for (const QRegularExpressionMatch &m :
         QRegularExpression(QStringLiteral(R"(\\u(-?[0-9]+))")).globalMatch(QString::fromLatin1(rtf))) {
        const int n = m.captured(1).toInt();
        EXPECT_TRUE(n >= -32768 && n <= 32767) << n;
    }
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
