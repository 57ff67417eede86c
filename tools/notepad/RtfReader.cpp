// The RTF reader: a byte scanner, a stack of small value states pushed on '{' and popped on '}',
// and a table of the control words that matter to a document the notepad can show.
#include "tools/notepad/Rtf.h"

#include <QHash>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <cstdint>
#include <map>

namespace kw::rtf {

QString Paragraph::text() const
{
    QString t;
    for (const Run &r : runs)
        t += r.text;
    return t;
}

QString Document::plainText() const
{
    QStringList lines;
    for (const Paragraph &p : paragraphs)
        lines << p.text();
    return lines.join(QLatin1Char('\n'));
}

bool isRtf(const QByteArray &bytes)
{
    qsizetype i = 0;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        i = 3;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return QByteArrayView(bytes).sliced(i).startsWith("{\\rtf");
}

namespace {

enum class Dest : std::uint8_t
{
    Text,        // the document's own text
    Skip,        // a destination whose text is not shown
    FontTable,   // \fonttbl and its entries
    ColourTable, // \colortbl
    ListText,    // \listtext, \pntext: the number or bullet a reader without lists would show
    Pn,          // \pn: the old-style paragraph numbering properties
};

struct CharState
{
    int font = -1; // -1: the document's default font (\deff)
    int halfPoints = 24;
    int colour = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    bool hidden = false;
};

struct State
{
    CharState ch;
    Align align = Align::Left;
    bool bullet = false; // set by \pn ... \pnlvlblt, kept until \pard
    Dest dest = Dest::Text;
    int uc = 1;
};

struct FontEntry
{
    QString name;
    int codePage = 0; // 0: the document's code page
};

enum class Word : std::uint8_t
{
    Unknown,
    // destinations
    FontTable,
    ColourTable,
    ListText,
    PnText,
    Pn,
    SkipDest,
    // document
    Ansicpg,
    Deff,
    Uc,
    U,
    Bin,
    // text
    Par,
    Line,
    Tab,
    Cell,
    Row,
    Page,
    Sect,
    Emdash,
    Endash,
    Emspace,
    Enspace,
    Qmspace,
    Bullet,
    Lquote,
    Rquote,
    Ldblquote,
    Rdblquote,
    // character format
    Plain,
    F,
    Fs,
    B,
    I,
    Ul,
    UlOn,
    UlNone,
    Strike,
    StrikeD,
    Cf,
    V,
    // paragraph format
    Pard,
    Ql,
    Qr,
    Qc,
    Qj,
    PnLvlBlt,
    // font and colour tables
    FCharset,
    Cpg,
    Red,
    Green,
    Blue,
};

const QHash<QByteArray, Word> &words()
{
    static const QHash<QByteArray, Word> table = [] {
        QHash<QByteArray, Word> t;
        t.insert("fonttbl", Word::FontTable);
        t.insert("colortbl", Word::ColourTable);
        t.insert("listtext", Word::ListText);
        t.insert("pntext", Word::PnText);
        t.insert("pn", Word::Pn);
        // Destinations whose text is not part of what the user reads.
        for (const char *d : {"stylesheet",
                              "info",
                              "pict",
                              "header",
                              "headerl",
                              "headerr",
                              "headerf",
                              "footer",
                              "footerl",
                              "footerr",
                              "footerf",
                              "footnote",
                              "annotation",
                              "object",
                              "objdata",
                              "fldinst",
                              "xe",
                              "tc",
                              "txe",
                              "listtable",
                              "listoverridetable",
                              "revtbl",
                              "rsidtbl",
                              "filetbl",
                              "pgdsctbl",
                              "datafield",
                              "template",
                              "themedata",
                              "colorschememapping",
                              "latentstyles",
                              "shp",
                              "shpinst",
                              "shprslt",
                              "nonshppict",
                              "userprops",
                              "generator",
                              "docvar",
                              "bkmkstart",
                              "bkmkend",
                              "fontemb",
                              "fontfile",
                              "private",
                              "atnid",
                              "atnauthor",
                              "atrfstart",
                              "atrfend",
                              "mmathPr",
                              "xmlnstbl",
                              "wgrffmtfilter",
                              "pnseclvl",
                              "ftnsep",
                              "ftnsepc",
                              "ftncn",
                              "aftnsep",
                              "aftnsepc",
                              "aftncn",
                              "panose",
                              "falt"})
            t.insert(d, Word::SkipDest);
        t.insert("ansicpg", Word::Ansicpg);
        t.insert("deff", Word::Deff);
        t.insert("uc", Word::Uc);
        t.insert("u", Word::U);
        t.insert("bin", Word::Bin);
        t.insert("par", Word::Par);
        t.insert("line", Word::Line);
        t.insert("tab", Word::Tab);
        t.insert("cell", Word::Cell);
        t.insert("nestcell", Word::Cell);
        t.insert("row", Word::Row);
        t.insert("page", Word::Page);
        t.insert("sect", Word::Sect);
        t.insert("emdash", Word::Emdash);
        t.insert("endash", Word::Endash);
        t.insert("emspace", Word::Emspace);
        t.insert("enspace", Word::Enspace);
        t.insert("qmspace", Word::Qmspace);
        t.insert("bullet", Word::Bullet);
        t.insert("lquote", Word::Lquote);
        t.insert("rquote", Word::Rquote);
        t.insert("ldblquote", Word::Ldblquote);
        t.insert("rdblquote", Word::Rdblquote);
        t.insert("plain", Word::Plain);
        t.insert("f", Word::F);
        t.insert("fs", Word::Fs);
        t.insert("b", Word::B);
        t.insert("i", Word::I);
        t.insert("ul", Word::Ul);
        for (const char *u :
             {"uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth", "ulthd",
              "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave"})
            t.insert(u, Word::UlOn);
        t.insert("ulnone", Word::UlNone);
        t.insert("strike", Word::Strike);
        t.insert("striked", Word::StrikeD);
        t.insert("cf", Word::Cf);
        t.insert("v", Word::V);
        t.insert("pard", Word::Pard);
        t.insert("ql", Word::Ql);
        t.insert("qr", Word::Qr);
        t.insert("qc", Word::Qc);
        t.insert("qj", Word::Qj);
        t.insert("qd", Word::Qj);
        t.insert("pnlvlblt", Word::PnLvlBlt);
        t.insert("fcharset", Word::FCharset);
        t.insert("cpg", Word::Cpg);
        t.insert("red", Word::Red);
        t.insert("green", Word::Green);
        t.insert("blue", Word::Blue);
        return t;
    }();
    return table;
}

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}
bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A list number or bullet that stands alone in \listtext: one character that is no letter or digit.
bool isBulletText(const QString &text)
{
    QString t = text;
    t.remove(QLatin1Char('\t'));
    t = t.trimmed();
    return t.size() == 1 && !t.at(0).isLetterOrNumber();
}

class Parser
{
public:
    explicit Parser(const QByteArray &bytes) : data_(bytes) {}

    Document run()
    {
        if (!isRtf(data_))
            throw LoadError();
        pos_ = data_.indexOf('{');
        while (pos_ < data_.size() && !finished_)
            step();
        endDocument();
        return std::move(doc_);
    }

private:
    // ---- scanning ----

    void step()
    {
        const char c = data_[pos_++];
        switch (c) {
        case '{':
            openGroup();
            break;
        case '}':
            closeGroup();
            break;
        case '\\':
            controlWord();
            break;
        case '\r':
        case '\n':
        case '\0':
            break;
        default:
            if (skip_ > 0) {
                --skip_;
                break;
            }
            byteText(static_cast<unsigned char>(c));
        }
    }

    void controlWord()
    {
        if (pos_ >= data_.size())
            return;
        const char c = data_[pos_];
        if (!isLetter(c)) {
            ++pos_;
            controlSymbol(c);
            return;
        }
        const qsizetype start = pos_;
        while (pos_ < data_.size() && isLetter(data_[pos_]))
            ++pos_;
        // The RTF limit on a word's length is 32 letters; longer ones are nobody's words.
        const QByteArray name = data_.mid(start, std::min<qsizetype>(pos_ - start, 32));
        bool hasParam = false;
        std::int64_t param = 0;
        bool negative = false;
        if (pos_ + 1 < data_.size() && data_[pos_] == '-' && isDigit(data_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        while (pos_ < data_.size() && isDigit(data_[pos_])) {
            hasParam = true;
            // Saturate: a parameter is at most a 32-bit number, and any longer run of digits is nonsense.
            param = std::min<std::int64_t>(param * 10 + (data_[pos_] - '0'), INT32_MAX);
            ++pos_;
        }
        if (pos_ < data_.size() && data_[pos_] == ' ')
            ++pos_;
        const int value = int(negative ? -param : param);
        const bool ignorable = ignorable_;
        ignorable_ = false;

        const Word w = words().value(name, Word::Unknown);
        if (skip_ > 0 && w != Word::Bin) {
            --skip_;
            return;
        }
        if (ignorable && !isDestinationWord(w)) {
            cur_.dest = Dest::Skip;
            return;
        }
        word(w, hasParam, value);
    }

    static bool isDestinationWord(Word w)
    {
        return w == Word::FontTable || w == Word::ColourTable || w == Word::ListText || w == Word::PnText ||
               w == Word::Pn || w == Word::SkipDest;
    }

    void controlSymbol(char c)
    {
        if (c == '\'') {
            int v = 0;
            int digits = 0;
            while (digits < 2 && pos_ < data_.size() && isHex(data_[pos_])) {
                v = v * 16 + hexValue(data_[pos_]);
                ++pos_;
                ++digits;
            }
            if (skip_ > 0) {
                --skip_;
                return;
            }
            if (digits > 0)
                byteText(static_cast<unsigned char>(v));
            return;
        }
        if (c == '*') {
            ignorable_ = true;
            return;
        }
        if (skip_ > 0) {
            --skip_;
            return;
        }
        switch (c) {
        case '\\':
        case '{':
        case '}':
            character(char16_t(c));
            break;
        case '~':
            character(u'\u00A0');
            break;
        case '_':
            character(u'\u2011');
            break;
        case '\r':
        case '\n':
            paragraphEnd();
            break;
        default: // \- optional hyphen, \| \: index marks and anything else
            break;
        }
    }

    void word(Word w, bool hasParam, int value)
    {
        const bool on = !hasParam || value != 0;
        CharState &ch = cur_.ch;
        switch (w) {
        case Word::Unknown:
            break;
        case Word::FontTable:
            enter(Dest::FontTable);
            break;
        case Word::ColourTable:
            enter(Dest::ColourTable);
            colourComponents_ = false;
            red_ = green_ = blue_ = 0;
            break;
        case Word::ListText:
        case Word::PnText:
            if (cur_.dest == Dest::Text) {
                enter(Dest::ListText);
                listText_.clear();
                listTextDepth_ = int(stack_.size());
            } else {
                enter(Dest::Skip);
            }
            break;
        case Word::Pn:
            enter(cur_.dest == Dest::Text ? Dest::Pn : Dest::Skip);
            pnBullet_ = false;
            pnDepth_ = int(stack_.size());
            break;
        case Word::SkipDest:
            enter(Dest::Skip);
            break;
        case Word::Ansicpg:
            if (hasParam)
                codePage_ = value;
            break;
        case Word::Deff:
            if (hasParam)
                defaultFont_ = value;
            break;
        case Word::Uc:
            cur_.uc = std::clamp(hasParam ? value : 1, 0, 16);
            break;
        case Word::U:
            unicode(value);
            break;
        case Word::Bin:
            if (hasParam && value > 0)
                pos_ = std::min<qsizetype>(data_.size(), pos_ + value);
            break;
        case Word::Par:
            paragraphEnd();
            break;
        case Word::Line:
            character(u'\u2028');
            break;
        case Word::Tab:
        case Word::Cell:
            character(u'\t');
            break;
        case Word::Row:
            paragraphEnd();
            break;
        case Word::Page:
        case Word::Sect:
            // A page or section break inside a paragraph ends it; one between paragraphs adds nothing.
            flush();
            if (cur_.dest == Dest::Text && !para_.runs.empty())
                paragraphEnd();
            break;
        case Word::Emdash:
            character(u'\u2014');
            break;
        case Word::Endash:
            character(u'\u2013');
            break;
        case Word::Emspace:
            character(u'\u2003');
            break;
        case Word::Enspace:
            character(u'\u2002');
            break;
        case Word::Qmspace:
            character(u'\u2005');
            break;
        case Word::Bullet:
            character(u'\u2022');
            break;
        case Word::Lquote:
            character(u'\u2018');
            break;
        case Word::Rquote:
            character(u'\u2019');
            break;
        case Word::Ldblquote:
            character(u'\u201C');
            break;
        case Word::Rdblquote:
            character(u'\u201D');
            break;
        case Word::Plain:
            ch = CharState{};
            break;
        case Word::F:
            if (hasParam) {
                if (cur_.dest == Dest::FontTable) {
                    commitFont();
                    fontIndex_ = value;
                    fontCodePage_ = 0;
                } else {
                    ch.font = value;
                }
            }
            break;
        case Word::Fs:
            if (hasParam && value > 0)
                ch.halfPoints = std::clamp(value, int(MinPointSize * 2), int(MaxPointSize * 2));
            break;
        case Word::B:
            ch.bold = on;
            break;
        case Word::I:
            ch.italic = on;
            break;
        case Word::Ul:
            ch.underline = on;
            break;
        case Word::UlOn:
            ch.underline = on;
            break;
        case Word::UlNone:
            ch.underline = false;
            break;
        case Word::Strike:
            ch.strikeOut = on;
            break;
        case Word::StrikeD:
            ch.strikeOut = on;
            break;
        case Word::Cf:
            ch.colour = hasParam ? value : 0;
            break;
        case Word::V:
            ch.hidden = on;
            break;
        case Word::Pard:
            cur_.align = Align::Left;
            cur_.bullet = false;
            break;
        case Word::Ql:
            cur_.align = Align::Left;
            break;
        case Word::Qr:
            cur_.align = Align::Right;
            break;
        case Word::Qc:
            cur_.align = Align::Centre;
            break;
        case Word::Qj:
            cur_.align = Align::Justify;
            break;
        case Word::PnLvlBlt:
            if (cur_.dest == Dest::Pn)
                pnBullet_ = true;
            break;
        case Word::FCharset:
            if (cur_.dest == Dest::FontTable && hasParam && fontCodePage_ == 0)
                fontCodePage_ = codePageOfCharset(value);
            break;
        case Word::Cpg:
            if (cur_.dest == Dest::FontTable && hasParam)
                fontCodePage_ = value;
            break;
        case Word::Red:
        case Word::Green:
        case Word::Blue:
            if (cur_.dest == Dest::ColourTable) {
                const int v = std::clamp(hasParam ? value : 0, 0, 255);
                (w == Word::Red ? red_ : w == Word::Green ? green_ : blue_) = v;
                colourComponents_ = true;
            }
            break;
        }
    }

    // ---- groups ----

    void enter(Dest d)
    {
        flush();
        cur_.dest = d;
    }

    void openGroup()
    {
        if (int(stack_.size()) >= MaxDepth)
            throw LoadError();
        flush();
        skip_ = 0;
        stack_.push_back(cur_);
    }

    void closeGroup()
    {
        flush();
        skip_ = 0;
        ignorable_ = false;
        if (stack_.empty()) { // a stray closing brace
            finished_ = true;
            return;
        }
        const Dest leaving = cur_.dest;
        const int depth = int(stack_.size());
        cur_ = stack_.back();
        stack_.pop_back();
        if (stack_.empty()) // the document's own closing brace: anything after it is not RTF
            finished_ = true;
        if (leaving == Dest::FontTable)
            commitFont();
        if (leaving == Dest::ListText && depth == listTextDepth_) {
            listTextDepth_ = -1;
            listTextEnded();
        }
        if (leaving == Dest::Pn && depth == pnDepth_) {
            pnDepth_ = -1;
            cur_.bullet = pnBullet_;
        }
    }

    // ---- text ----

    int codePage() const
    {
        if (cur_.dest == Dest::FontTable && fontCodePage_ != 0)
            return fontCodePage_;
        const int f = cur_.ch.font >= 0 ? cur_.ch.font : defaultFont_;
        const auto it = fonts_.find(f);
        if (it != fonts_.end() && it->second.codePage != 0)
            return it->second.codePage;
        return codePage_;
    }

    void byteText(unsigned char b)
    {
        if (b == '\t') {
            character(u'\t');
            return;
        }
        if (cur_.dest == Dest::FontTable && b == ';') {
            commitFont();
            return;
        }
        if (cur_.dest == Dest::ColourTable) {
            if (b == ';') {
                colours_.push_back(colourComponents_ ? QColor(red_, green_, blue_) : QColor());
                colourComponents_ = false;
                red_ = green_ = blue_ = 0;
            }
            return;
        }
        character(decodeByte(b, codePage()).unicode());
    }

    void unicode(int value)
    {
        if (value < 0)
            value += 65536;
        character(value >= 0 && value <= 0xFFFF ? char16_t(value) : u'\uFFFD');
        skip_ = cur_.uc;
    }

    void character(char16_t c)
    {
        // Characters a QTextDocument keeps for its own structure, and controls nobody types.
        if ((c < 0x20 && c != u'\t') || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC)
            return;
        switch (cur_.dest) {
        case Dest::FontTable:
            fontName_ += QChar(c);
            return;
        case Dest::Text:
        case Dest::ListText:
            break;
        default:
            return;
        }
        if (cur_.ch.hidden)
            return;
        const Run look = lookOf(cur_.ch);
        if (!pending_.text.isEmpty() && !pending_.sameLook(look))
            flush();
        if (pending_.text.isEmpty())
            pending_ = look;
        pending_.text += QChar(c);
    }

    Run lookOf(const CharState &ch) const
    {
        Run r;
        const int f = ch.font >= 0 ? ch.font : defaultFont_;
        const auto it = fonts_.find(f);
        if (it != fonts_.end())
            r.font = it->second.name;
        r.pointSize = ch.halfPoints / 2.0;
        r.bold = ch.bold;
        r.italic = ch.italic;
        r.underline = ch.underline;
        r.strikeOut = ch.strikeOut;
        if (ch.colour > 0 && ch.colour < int(colours_.size()))
            r.colour = colours_[std::size_t(ch.colour)];
        return r;
    }

    // Hands the collected text to the destination it was read in.
    void flush()
    {
        if (pending_.text.isEmpty())
            return;
        std::vector<Run> &target = cur_.dest == Dest::ListText ? listText_ : para_.runs;
        if (!target.empty() && target.back().sameLook(pending_))
            target.back().text += pending_.text;
        else
            target.push_back(pending_);
        pending_.text.clear();
    }

    void listTextEnded()
    {
        QString text;
        for (const Run &r : listText_)
            text += r.text;
        if (isBulletText(text)) {
            listBullet_ = true;
        } else { // a number or a label: keep it as the paragraph's own text
            for (Run &r : listText_)
                para_.runs.push_back(std::move(r));
        }
        listText_.clear();
    }

    void commitFont()
    {
        if (fontIndex_ != INT32_MIN) {
            QString name = fontName_.trimmed();
            if (!name.isEmpty() || !fonts_.count(fontIndex_))
                fonts_[fontIndex_] = FontEntry{name, fontCodePage_};
        }
        fontIndex_ = INT32_MIN;
        fontName_.clear();
        fontCodePage_ = 0;
    }

    void paragraphEnd()
    {
        if (cur_.dest != Dest::Text)
            return;
        flush();
        para_.align = cur_.align;
        para_.bullet = cur_.bullet || listBullet_;
        para_.mark = lookOf(cur_.ch);
        doc_.paragraphs.push_back(std::move(para_));
        para_ = Paragraph{};
        listBullet_ = false;
    }

    void endDocument()
    {
        // A truncated file: close what is open so that the text read so far is kept.
        while (!stack_.empty())
            closeGroup();
        flush();
        // The last \par ends the last paragraph; text after it is one more paragraph.
        if (!para_.runs.empty() || doc_.paragraphs.empty()) {
            cur_.dest = Dest::Text;
            paragraphEnd();
        }
    }

    const QByteArray &data_;
    qsizetype pos_ = 0;
    bool finished_ = false;
    bool ignorable_ = false;
    int skip_ = 0; // fallback characters still to skip after \u

    State cur_;
    std::vector<State> stack_;

    int codePage_ = 1252;
    int defaultFont_ = -1;
    std::map<int, FontEntry> fonts_;
    int fontIndex_ = INT32_MIN;
    QString fontName_;
    int fontCodePage_ = 0;

    std::vector<QColor> colours_; // the colour table; \cf0 is always the automatic colour
    bool colourComponents_ = false;
    int red_ = 0, green_ = 0, blue_ = 0;

    std::vector<Run> listText_;
    int listTextDepth_ = -1;
    bool listBullet_ = false;
    bool pnBullet_ = false;
    int pnDepth_ = -1;

    Run pending_;
    Paragraph para_;
    Document doc_;
};

QTextCharFormat formatOf(const Run &r)
{
    QTextCharFormat f;
    if (!r.font.isEmpty())
        f.setFontFamilies(QStringList{r.font});
    f.setFontPointSize(std::clamp(r.pointSize, MinPointSize, MaxPointSize));
    f.setFontWeight(r.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(r.italic);
    f.setFontUnderline(r.underline);
    f.setFontStrikeOut(r.strikeOut);
    if (r.colour.isValid())
        f.setForeground(r.colour);
    return f;
}

Qt::Alignment alignmentOf(Align a)
{
    switch (a) {
    case Align::Right:
        return Qt::AlignRight;
    case Align::Centre:
        return Qt::AlignHCenter;
    case Align::Justify:
        return Qt::AlignJustify;
    case Align::Left:
        break;
    }
    return Qt::AlignLeft;
}

} // namespace

Document parse(const QByteArray &bytes)
{
    return Parser(bytes).run();
}

void build(const Document &document, QTextDocument *target)
{
    target->clear();
    QTextCursor c(target);
    c.beginEditBlock();
    QTextList *list = nullptr;
    bool first = true;
    for (const Paragraph &p : document.paragraphs) {
        QTextBlockFormat bf;
        bf.setAlignment(alignmentOf(p.align));
        const QTextCharFormat mark = formatOf(p.mark);
        if (first) {
            c.setBlockFormat(bf);
            c.setBlockCharFormat(mark);
            first = false;
        } else {
            c.insertBlock(bf, mark);
        }
        if (p.bullet) {
            if (list) {
                list->add(c.block());
            } else {
                QTextListFormat lf;
                lf.setStyle(QTextListFormat::ListDisc);
                lf.setIndent(1);
                list = c.createList(lf);
            }
        } else {
            list = nullptr;
        }
        for (const Run &r : p.runs)
            c.insertText(r.text, formatOf(r));
    }
    c.endEditBlock();
}

void read(const QByteArray &bytes, QTextDocument *target)
{
    build(parse(bytes), target);
}

} // namespace kw::rtf
