// Any bytes handed to the camt.053/camt.052 reader either give transactions, which the built-in rules then
// categorise, or an import error; nothing else.
#include "import/CsvReader.h"
#include "import/ImportError.h"
#include "import/Readers.h"
#include "import/Rules.h"
#include "import/TextTools.h"

#include <QByteArray>
#include <cstdint>

namespace {
[[maybe_unused]] QList<kw::import::CsvProfile> profiles()
{
    static const QList<kw::import::CsvProfile> p = kw::import::parseProfiles(
        QStringLiteral("[Bank]\nseparator = ;\nnagłówek = \"Kiedy\" \"Ile\" \"Kto\"\ndata operacji = 1\n"
                       "kwota = 2\nkontrahent = 3\n"));
    return p;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const kw::import::Rules rules = kw::import::Rules::parse(kw::import::Rules::builtInText());
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const kw::import::Statement st = kw::import::readCamt(bytes);
        for (const kw::import::Transaction &t : st.transactions) {
            const auto m = rules.categorise(t);
            (void)kw::import::bookedAmount(t, m.category);
        }
    } catch (const kw::import::ImportError &e) {
        (void)e.message();
    }
    return 0;
}
