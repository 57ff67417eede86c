#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace kw {

// A single-byte code page, as named by a dBase language-driver byte.
class CodePage
{
public:
    enum Id { Cp1250, Cp1252, Cp852, Cp437, Cp850 };

    static const CodePage &get(Id id);
    // Unknown driver bytes read as cp1250: the tables this program ships are Polish Windows tables.
    static const CodePage &forLanguageDriver(std::uint8_t driver);

    Id id() const { return id_; }
    const char *name() const;

    QString decode(std::string_view bytes) const;
    // Characters the code page cannot hold become '?'. At most maxBytes bytes are produced;
    // every character is one byte, so cutting never splits a character.
    std::string encode(QStringView text, std::size_t maxBytes = std::string::npos) const;

private:
    CodePage(Id id, const char16_t *upper);
    Id id_;
    const char16_t *upper_;
    std::array<std::pair<char16_t, unsigned char>, 128> reverse_{}; // sorted by character
};

} // namespace kw
