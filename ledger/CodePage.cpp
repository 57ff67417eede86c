#include "ledger/CodePage.h"
#include "ledger/CodePageTables.h"

#include <algorithm>

namespace kw {

CodePage::CodePage(Id id, const char16_t *upper) : id_(id), upper_(upper)
{
    for (int i = 0; i < 128; ++i)
        reverse_[i] = {upper_[i], static_cast<unsigned char>(0x80 + i)};
    std::sort(reverse_.begin(), reverse_.end());
}

const CodePage &CodePage::get(Id id)
{
    static const CodePage pages[] = {
        CodePage(Cp1250, codepage_tables::cp1250), CodePage(Cp1252, codepage_tables::cp1252),
        CodePage(Cp852, codepage_tables::cp852),   CodePage(Cp437, codepage_tables::cp437),
        CodePage(Cp850, codepage_tables::cp850),
    };
    return pages[id];
}

const CodePage &CodePage::forLanguageDriver(std::uint8_t driver)
{
    switch (driver) {
    case 0x01:
        return get(Cp437);
    case 0x02:
        return get(Cp850);
    case 0x03:
    case 0x57:
    case 0x58:
    case 0x59:
        return get(Cp1252);
    case 0x64:
        return get(Cp852);
    case 0xC8:
    default:
        return get(Cp1250);
    }
}

const char *CodePage::name() const
{
    static const char *names[] = {"cp1250", "cp1252", "cp852", "cp437", "cp850"};
    return names[id_];
}

QString CodePage::decode(std::string_view bytes) const
{
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar *d = out.data();
    for (unsigned char c : bytes)
        *d++ = c < 0x80 ? QChar(c) : QChar(upper_[c - 0x80]);
    return out;
}

std::string CodePage::encode(QStringView text, std::size_t maxBytes) const
{
    std::string out;
    out.reserve(std::min<std::size_t>(static_cast<std::size_t>(text.size()), maxBytes));
    for (qsizetype i = 0; i < text.size() && out.size() < maxBytes; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i; // one character outside the code page, one byte
            out.push_back('?');
            continue;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        auto it = std::lower_bound(reverse_.begin(), reverse_.end(), std::make_pair(c, static_cast<unsigned char>(0)));
        out.push_back(it != reverse_.end() && it->first == c && c != 0xFFFD ? static_cast<char>(it->second) : '?');
    }
    return out;
}

} // namespace kw
