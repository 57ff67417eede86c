// The notepad's code pages are the tables' code pages: one module for the whole program.
#include "ledger/CodePage.h"
#include "tools/notepad/Rtf.h"

namespace kw::rtf {

namespace {
// A document names its pages by number; one this system cannot convert, or one whose characters
// take two bytes (which \'xx escapes here do not pair up), reads as Western European as before.
const CodePage &page(int codePage)
{
    const CodePage *p = CodePage::find(codePage);
    if (!p || p->isMultibyte())
        p = CodePage::find(1252);
    return p ? *p : CodePage::windows1250();
}
} // namespace

QChar decodeByte(unsigned char byte, int codePage)
{
    return page(codePage).decodeByte(byte);
}

QString decode(QByteArrayView bytes, int codePage)
{
    const CodePage &p = page(codePage);
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        out.append(p.decodeByte(static_cast<unsigned char>(c)));
    return out;
}

int encodeByte(QChar character, int codePage)
{
    return page(codePage).encodeByte(character);
}

// The East Asian character sets are left to the document's code page: their characters take two
// bytes, which single \'xx escapes do not carry.
int codePageOfCharset(int charset)
{
    switch (charset) {
    case 77:
        return 10000; // Macintosh
    case 161:
        return 1253; // Greek
    case 162:
        return 1254; // Turkish
    case 163:
        return 1258; // Vietnamese
    case 177:
        return 1255; // Hebrew
    case 178:
        return 1256; // Arabic
    case 186:
        return 1257; // Baltic
    case 204:
        return 1251; // Cyrillic
    case 222:
        return 874; // Thai
    case 238:
        return 1250; // Central European
    case 255:
        return 437; // OEM
    default:
        return 0;
    }
}

} // namespace kw::rtf
