#pragma once

// Rich text files of the notepad: a reader that turns RTF into a QTextDocument and a writer that
// turns a QTextDocument back into RTF. Neither needs a widget, so both are tested on their own.
//
// What the notepad can show is what the reader keeps: paragraphs with their alignment and bullets,
// and runs of text with font face, size, bold, italic, underline, strike-out and colour. Everything
// else in a file (styles, tables of lists, pictures, fields' instructions, page layout) is skipped,
// while the text it carries is kept where a reader without that feature would show it.

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QStringView>
#include <stdexcept>
#include <vector>

class QTextDocument;

namespace kw::rtf {

// A document the reader cannot make sense of. Its text is the one the user sees.
class LoadError : public std::runtime_error
{
public:
    LoadError() : std::runtime_error("Failed to Load Stream") {}
};

// Groups nested deeper than this are refused: no writer needs them and each level costs memory.
inline constexpr int MaxDepth = 2000;

// Font sizes are kept within what an RTF size can say (\fs is in half points, at most 32767).
inline constexpr double MinPointSize = 1.0;
inline constexpr double MaxPointSize = 1638.0;

enum class Align
{
    Left,
    Right,
    Centre,
    Justify
};

struct Run
{
    QString text; // U+2028 stands for a line break inside the paragraph, '\t' for a tab
    QString font; // empty: the document's default face
    double pointSize = 12.0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    QColor colour; // invalid: the default (automatic) colour

    bool sameLook(const Run &o) const
    {
        return font == o.font && pointSize == o.pointSize && bold == o.bold && italic == o.italic &&
               underline == o.underline && strikeOut == o.strikeOut && colour == o.colour;
    }
};

struct Paragraph
{
    std::vector<Run> runs;
    Run mark; // the look of the paragraph mark: gives an empty paragraph its height
    Align align = Align::Left;
    bool bullet = false;

    QString text() const;
};

struct Document
{
    std::vector<Paragraph> paragraphs; // never empty once parsed
    QString plainText() const;         // paragraphs joined by '\n'
};

// True when the bytes are an RTF file (they begin with "{\rtf", after white space or a UTF-8 mark).
bool isRtf(const QByteArray &bytes);

// Reads RTF. A truncated file or unbalanced braces give what was read up to there; bytes that are
// not RTF at all, or groups nested deeper than MaxDepth, throw LoadError.
Document parse(const QByteArray &bytes);

// Replaces the contents of the document with the parsed one (the undo history is not touched).
void build(const Document &document, QTextDocument *target);

// parse() then build(); on LoadError the target is left as it was.
void read(const QByteArray &bytes, QTextDocument *target);

// The whole document as RTF: every character, font, size, style, colour, alignment and bullet, so
// that reading it back gives the same document. Non-ASCII characters are written as \uN followed
// by the same character in the Central European code page, which the file declares (or '?' where
// it has none), so readers that know no \u still show Polish letters. Formats a fragment does not
// set itself are taken from the document's default font.
inline constexpr int WriteCodePage = 1250;
QByteArray write(const QTextDocument &document);

// Single-byte code pages by number (any the program's code-page module knows; others, and the
// two-byte East Asian pages, read as 1252). Bytes a code page does not define become U+FFFD.
QChar decodeByte(unsigned char byte, int codePage);
QString decode(QByteArrayView bytes, int codePage);
// The byte that stands for the character in the code page, or -1 when it has none.
int encodeByte(QChar character, int codePage);
// The code page that an \fcharset number stands for, or 0 when it says nothing (ANSI, default).
int codePageOfCharset(int charset);

} // namespace kw::rtf
