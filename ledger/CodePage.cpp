#include "ledger/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <mutex>

namespace kw {

namespace {

constexpr char16_t Undefined = 0xFFFD;

// The DOS pages iconv does not carry, upper halves. Both keep the box drawing of cp437 and put
// their national letters where cp437 had accented Latin ones.
// clang-format off
constexpr char16_t Mazovia[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0105, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0107, 0x00C4, 0x0104,
    0x0118, 0x0119, 0x0142, 0x00F4, 0x00F6, 0x0106, 0x00FB, 0x00F9, 0x015A, 0x00D6, 0x00DC, 0x00A2, 0x0141, 0x00A5, 0x015B, 0x0192,
    0x0179, 0x017B, 0x00F3, 0x00D3, 0x0144, 0x0143, 0x017A, 0x017C, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
constexpr char16_t Kamenicky[128] = {
    0x010C, 0x00FC, 0x00E9, 0x010F, 0x00E4, 0x010E, 0x0164, 0x010D, 0x011B, 0x011A, 0x0139, 0x00CD, 0x013E, 0x013A, 0x00C4, 0x00C1,
    0x00C9, 0x017E, 0x017D, 0x00F4, 0x00F6, 0x00D3, 0x016F, 0x00DA, 0x00FD, 0x00D6, 0x00DC, 0x0160, 0x013D, 0x00DD, 0x0158, 0x0165,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0148, 0x0147, 0x016E, 0x00D4, 0x0161, 0x0159, 0x0155, 0x0154, 0x00BC, 0x00A7, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
// clang-format on

// The language-driver bytes of the dBase and FoxPro tables of record, with the code page each names.
struct Driver
{
    std::uint8_t byte;
    int codePage;
};
constexpr Driver Drivers[] = {
    {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x04, 10000}, {0x08, 865},   {0x09, 437},   {0x0A, 850},
    {0x0B, 437},  {0x0D, 437},  {0x0E, 850},  {0x0F, 437},   {0x10, 850},   {0x11, 437},   {0x12, 850},
    {0x13, 932},  {0x14, 850},  {0x15, 437},  {0x16, 850},   {0x17, 865},   {0x18, 437},   {0x19, 437},
    {0x1A, 850},  {0x1B, 437},  {0x1C, 863},  {0x1D, 850},   {0x1F, 852},   {0x22, 852},   {0x23, 852},
    {0x24, 860},  {0x25, 850},  {0x26, 866},  {0x37, 850},   {0x40, 852},   {0x4D, 936},   {0x4E, 949},
    {0x4F, 950},  {0x50, 874},  {0x57, 1252}, {0x58, 1252},  {0x59, 1252},  {0x64, 852},   {0x65, 866},
    {0x66, 865},  {0x67, 861},  {0x68, 895},  {0x69, 620},   {0x6A, 737},   {0x6B, 857},   {0x6C, 863},
    {0x78, 950},  {0x79, 949},  {0x7A, 936},  {0x7B, 932},   {0x7C, 874},   {0x7D, 1255},  {0x7E, 1256},
    {0x86, 737},  {0x87, 852},  {0x88, 857},  {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250},
    {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
};

const char *iconvName(int number)
{
    switch (number) {
    case 10000:
        return "MACINTOSH";
    case 10007:
        return "MAC-CYRILLIC";
    case 10029:
        return "MAC-CENTRALEUROPE";
    default:
        return nullptr;
    }
}

bool isEastAsian(int number)
{
    return number == 932 || number == 936 || number == 949 || number == 950;
}

// Converts one byte sequence alone to one character. Undefined when
// the page does not define it; *incomplete tells a sequence that waits for more bytes (a lead byte).
char16_t convertOne(iconv_t cd, const char *bytes, std::size_t size, bool *incomplete)
{
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[2] = {bytes[0], size > 1 ? bytes[1] : '\0'};
    char *inp = in;
    std::size_t inLeft = size;
    char16_t out[4] = {};
    char *outp = reinterpret_cast<char *>(out);
    std::size_t outLeft = sizeof out;
    std::size_t rc = ::iconv(cd, &inp, &inLeft, &outp, &outLeft);
    *incomplete = rc == std::size_t(-1) && errno == EINVAL;
    // cp1255 and cp1258 hold a letter back in case a combining mark follows: flush it out.
    if (rc != std::size_t(-1))
        rc = ::iconv(cd, nullptr, nullptr, &outp, &outLeft);
    const std::size_t produced = (sizeof out - outLeft) / sizeof(char16_t);
    if (rc == std::size_t(-1) || inLeft != 0 || produced != 1)
        return Undefined;
    return out[0];
}

} // namespace

CodePage::CodePage(int number, const char16_t (&upper)[128]) : number_(number)
{
    for (int i = 0; i < 128; ++i) {
        single_[i] = char16_t(i);
        single_[128 + i] = upper[i];
    }
    index();
}

std::unique_ptr<CodePage> CodePage::fromIconv(int number)
{
    const std::string name = iconvName(number) ? iconvName(number) : "CP" + std::to_string(number);
    const iconv_t cd = ::iconv_open("UTF-16LE", name.c_str());
    if (cd == iconv_t(-1))
        return nullptr;
    std::unique_ptr<CodePage> page(new CodePage);
    page->number_ = number;
    for (int i = 0; i < 128; ++i)
        page->single_[i] = char16_t(i);
    const bool twoBytes = isEastAsian(number);
    if (twoBytes)
        page->pairs_.assign(128 * 256, Undefined);
    for (int b = 0x80; b < 0x100; ++b) {
        const char byte = char(b);
        bool incomplete = false;
        page->single_[b] = convertOne(cd, &byte, 1, &incomplete);
        if (!twoBytes || !incomplete)
            continue;
        page->single_[b] = Lead;
        for (int t = 0x40; t < 0x100; ++t) {
            const char pair[2] = {byte, char(t)};
            page->pairs_[std::size_t(b - 0x80) * 256 + std::size_t(t)] = convertOne(cd, pair, 2, &incomplete);
        }
    }
    ::iconv_close(cd);
    page->index();
    return page;
}

void CodePage::index()
{
    for (int b = 0x80; b < 0x100; ++b)
        if (single_[b] != Undefined && single_[b] != Lead)
            reverse_.push_back({single_[b], std::uint16_t(b)});
    for (std::size_t i = 0; i < pairs_.size(); ++i)
        if (pairs_[i] != Undefined)
            reverse_.push_back({pairs_[i], std::uint16_t(((i / 256) + 0x80) << 8 | (i % 256))});
    // The first (shortest, lowest) byte sequence of a character is the one written.
    std::stable_sort(reverse_.begin(), reverse_.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    reverse_.erase(std::unique(reverse_.begin(), reverse_.end(),
                               [](const auto &a, const auto &b) { return a.first == b.first; }),
                   reverse_.end());
}

const CodePage *CodePage::find(int number)
{
    static std::mutex lock;
    static std::map<int, std::unique_ptr<CodePage>> built;
    const std::lock_guard<std::mutex> guard(lock);
    auto it = built.find(number);
    if (it == built.end()) {
        std::unique_ptr<CodePage> page;
        if (number == 620)
            page = std::make_unique<CodePage>(620, Mazovia);
        else if (number == 895)
            page = std::make_unique<CodePage>(895, Kamenicky);
        else if (number > 0)
            page = fromIconv(number);
        it = built.emplace(number, std::move(page)).first;
    }
    return it->second.get();
}

const CodePage &CodePage::windows1250()
{
    static const CodePage *page = [] {
        const CodePage *p = find(1250);
        // Without cp1250 nothing Polish can be read; the C library always carries it.
        if (!p)
            std::abort();
        return p;
    }();
    return *page;
}

int CodePage::numberForLanguageDriver(std::uint8_t driver)
{
    for (const Driver &d : Drivers)
        if (d.byte == driver)
            return d.codePage;
    return 0;
}

const CodePage *CodePage::forLanguageDriver(std::uint8_t driver)
{
    const int number = numberForLanguageDriver(driver);
    return number == 0 ? &windows1250() : find(number);
}

QString CodePage::name() const
{
    switch (number_) {
    case 620:
        return QStringLiteral("Mazovia (620)");
    case 895:
        return QStringLiteral("Kamenický (895)");
    case 10000:
        return QStringLiteral("Mac Roman (10000)");
    case 10007:
        return QStringLiteral("Mac Cyrillic (10007)");
    case 10029:
        return QStringLiteral("Mac Central European (10029)");
    default:
        return QStringLiteral("cp%1").arg(number_);
    }
}

QString CodePage::decode(std::string_view bytes) const
{
    QString out(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar *d = out.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        char16_t c = single_[b];
        if (c == Lead) {
            c = Undefined; // a character cut off at the end of its field
            if (i + 1 < bytes.size())
                c = pairs_[std::size_t(b - 0x80) * 256 + static_cast<unsigned char>(bytes[++i])];
        }
        *d++ = QChar(c);
    }
    out.truncate(d - out.constData());
    return out;
}

int CodePage::encodeByte(QChar character) const
{
    const char16_t c = character.unicode();
    if (c < 0x80)
        return c;
    if (c == Undefined)
        return -1;
    const auto it = std::lower_bound(reverse_.begin(), reverse_.end(), c,
                                     [](const auto &e, char16_t v) { return e.first < v; });
    return it != reverse_.end() && it->first == c && it->second < 0x100 ? int(it->second) : -1;
}

std::string CodePage::encode(QStringView text, std::size_t maxBytes) const
{
    std::string out;
    out.reserve(std::min<std::size_t>(std::size_t(text.size()), maxBytes));
    for (qsizetype i = 0; i < text.size() && out.size() < maxBytes; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i; // one character outside every page here
            out.push_back('?');
            continue;
        }
        if (c < 0x80) {
            out.push_back(char(c));
            continue;
        }
        const auto it = std::lower_bound(reverse_.begin(), reverse_.end(), c,
                                         [](const auto &e, char16_t v) { return e.first < v; });
        if (it == reverse_.end() || it->first != c || c == Undefined) {
            out.push_back('?');
        } else if (it->second < 0x100) {
            out.push_back(char(it->second));
        } else {
            if (out.size() + 2 > maxBytes)
                break;
            out.push_back(char(it->second >> 8));
            out.push_back(char(it->second & 0xFF));
        }
    }
    return out;
}

} // namespace kw
