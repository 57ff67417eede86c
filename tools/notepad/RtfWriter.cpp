// The RTF writer: one paragraph per block, the character look restated with \plain whenever it
// changes, and every character outside printable ASCII as \uN with a code-page fallback.
#include "tools/notepad/Rtf.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kw::rtf {

namespace {

void appendNumber(QByteArray &out, int n)
{
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, n);
    out.append(buf, r.ptr - buf);
}

void appendWord(QByteArray &out, const char *word, int n)
{
    out.append('\\').append(word);
    appendNumber(out, n);
}

// Text as RTF: printable ASCII as it is, the three RTF specials escaped, tabs and line breaks as
// words, everything else as a signed 16-bit \u followed, for readers that know no \u, by the same
// character in the file's code page as \'hh, or by '?' where the code page has none.
void appendText(QByteArray &out, QStringView text)
{
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u'\\' || c == u'{' || c == u'}') {
            out.append('\\').append(char(c));
        } else if (c >= 0x20 && c < 0x7F) {
            out.append(char(c));
        } else if (c == u'\t') {
            out.append("\\tab ");
        } else if (c == 0x2028) {
            out.append("\\line ");
        } else if (c < 0x20 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC) {
            // controls and the document's own structure marks are not text
        } else {
            appendWord(out, "u", c > 0x7FFF ? int(c) - 0x10000 : int(c));
            const int b = encodeByte(ch, WriteCodePage);
            if (b >= 0x80) {
                static const char hex[] = "0123456789abcdef";
                out.append("\\'").append(hex[b >> 4]).append(hex[b & 15]);
            } else {
                out.append('?');
            }
        }
    }
}

struct Look
{
    QString font;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    QColor colour;

    bool operator==(const Look &o) const
    {
        return font == o.font && halfPoints == o.halfPoints && bold == o.bold && italic == o.italic &&
               underline == o.underline && strikeOut == o.strikeOut && colour == o.colour;
    }
};

// What a fragment looks like on screen: its own format over the document's default font.
Look lookOf(const QTextCharFormat &format, const QFont &defaultFont)
{
    const QFont f = format.font().resolve(defaultFont);
    Look l;
    l.font = f.families().value(0, f.family());
    double points = f.pointSizeF();
    if (points <= 0) // a font sized in pixels: no better guess than the screen's 96 dots per inch
        points = f.pixelSize() > 0 ? f.pixelSize() * 72.0 / 96.0 : 12.0;
    l.halfPoints = std::clamp(int(std::lround(points * 2)), int(MinPointSize * 2), int(MaxPointSize * 2));
    l.bold = f.weight() >= QFont::DemiBold;
    l.italic = f.italic();
    l.underline = f.underline();
    l.strikeOut = f.strikeOut();
    if (format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().style() != Qt::NoBrush)
        l.colour = format.foreground().color();
    return l;
}

class Writer
{
public:
    explicit Writer(const QTextDocument &doc) : doc_(doc), defaultFont_(doc.defaultFont()) {}

    QByteArray run()
    {
        fontIndex(defaultFont_.families().value(0, defaultFont_.family()));
        for (QTextBlock b = doc_.begin(); b.isValid(); b = b.next())
            block(b);

        QByteArray out = "{\\rtf1\\ansi\\ansicpg";
        appendNumber(out, WriteCodePage);
        out.append("\\deff0\\uc1\n{\\fonttbl");
        for (int i = 0; i < int(fonts_.size()); ++i) {
            out.append("{");
            appendWord(out, "f", i);
            out.append("\\fnil\\fcharset238 "); // the character set of the code page above
            QString name = fonts_[std::size_t(i)];
            name.remove(QLatin1Char(';')); // the table's own separator cannot be escaped
            appendText(out, name);
            out.append(";}");
        }
        out.append("}\n{\\colortbl;");
        for (const QColor &c : colours_) {
            appendWord(out, "red", c.red());
            appendWord(out, "green", c.green());
            appendWord(out, "blue", c.blue());
            out.append(';');
        }
        out.append("}\n");
        out.append(body_);
        out.append("}\n");
        return out;
    }

private:
    int fontIndex(const QString &family)
    {
        const auto it = std::find(fonts_.begin(), fonts_.end(), family);
        if (it != fonts_.end())
            return int(it - fonts_.begin());
        fonts_.push_back(family);
        return int(fonts_.size()) - 1;
    }

    int colourIndex(const QColor &c)
    {
        if (!c.isValid())
            return 0;
        const QColor rgb = QColor::fromRgb(c.rgb()); // the table holds 8-bit RGB, no alpha
        const auto it = std::find(colours_.begin(), colours_.end(), rgb);
        if (it != colours_.end())
            return int(it - colours_.begin()) + 1;
        colours_.push_back(rgb);
        return int(colours_.size());
    }

    void look(const Look &l)
    {
        body_.append("\\plain");
        appendWord(body_, "f", fontIndex(l.font));
        appendWord(body_, "fs", l.halfPoints);
        if (l.bold)
            body_.append("\\b");
        if (l.italic)
            body_.append("\\i");
        if (l.underline)
            body_.append("\\ul");
        if (l.strikeOut)
            body_.append("\\strike");
        if (const int c = colourIndex(l.colour))
            appendWord(body_, "cf", c);
        body_.append(' ');
    }

    void block(const QTextBlock &b)
    {
        body_.append("\\pard");
        switch (b.blockFormat().alignment() & Qt::AlignHorizontal_Mask) {
        case Qt::AlignRight:
            body_.append("\\qr");
            break;
        case Qt::AlignHCenter:
            body_.append("\\qc");
            break;
        case Qt::AlignJustify:
            body_.append("\\qj");
            break;
        default:
            body_.append("\\ql");
            break;
        }
        if (b.textList()) {
            // Both list forms a reader may know: the bullet as text, and the bullet as a property.
            const int f = fontIndex(defaultFont_.families().value(0, defaultFont_.family()));
            body_.append("\\fi-360\\li720{\\pntext");
            appendWord(body_, "f", f);
            body_.append("\\'95\\tab}{\\*\\pn\\pnlvlblt");
            appendWord(body_, "pnf", f);
            body_.append("\\pnindent0{\\pntxtb\\'95}}");
        }
        bool first = true;
        Look last;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid() || frag.text().isEmpty())
                continue;
            const Look l = lookOf(frag.charFormat(), defaultFont_);
            if (first || !(l == last))
                look(l);
            appendText(body_, frag.text());
            first = false;
            last = l;
        }
        if (first) // an empty paragraph: its mark's look gives the line its height
            look(lookOf(b.charFormat(), defaultFont_));
        body_.append("\\par\n");
    }

    const QTextDocument &doc_;
    const QFont defaultFont_;
    std::vector<QString> fonts_;
    std::vector<QColor> colours_;
    QByteArray body_;
};

} // namespace

QByteArray write(const QTextDocument &document)
{
    return Writer(document).run();
}

} // namespace kw::rtf
