#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kw {

// A code page of the tables and of the notepad's documents, by its Windows/DOS number (852, 1250,
// 10029 ...). The tables are built once, on first use, from the C library's iconv; the two Central
// European DOS pages iconv does not know (620 Mazovia, 895 Kamenický) are tables of our own. The
// lower half (0x00-0x7F) is ASCII in every page. The East Asian pages (932, 936, 949, 950) hold a
// character in one or two bytes.
class CodePage
{
public:
    // The page with this number, or nullptr when neither iconv nor this program knows it.
    static const CodePage *find(int number);
    static const CodePage &windows1250();

    // The code page a dBase or FoxPro language-driver byte names; 0 for "no code page" (0x00) and
    // for bytes no table of record lists.
    static int numberForLanguageDriver(std::uint8_t driver);
    // The page a table is read with: the one its driver byte names, cp1250 when it names none.
    // nullptr when it names a page this system cannot convert.
    static const CodePage *forLanguageDriver(std::uint8_t driver);

    int number() const { return number_; }
    QString name() const; // "cp852", "Mazovia (620)"
    bool isMultibyte() const { return !pairs_.empty(); }

    // Bytes the page leaves undefined read as U+FFFD.
    QString decode(std::string_view bytes) const;
    // Characters the page cannot hold become '?'. At most maxBytes bytes are produced, and a
    // character is never cut in half.
    std::string encode(QStringView text, std::size_t maxBytes = std::string::npos) const;

    // One byte of a single-byte page (the notepad's \'xx escapes); U+FFFD when undefined.
    QChar decodeByte(unsigned char byte) const { return QChar(single_[byte]); }
    // The byte of a character, or -1 when the page cannot hold it in one byte.
    int encodeByte(QChar c) const;

    CodePage(int number, const char16_t (&upper)[128]);

private:
    CodePage() = default;
    static std::unique_ptr<CodePage> fromIconv(int number);
    void index();

    static constexpr char16_t Lead = 0xFFFE; // in single_: the first byte of a two-byte character
    int number_ = 0;
    char16_t single_[256] = {};
    std::vector<char16_t> pairs_;                             // [(lead - 0x80) * 256 + trail]
    std::vector<std::pair<char16_t, std::uint16_t>> reverse_; // character -> bytes, sorted
};

} // namespace kw
