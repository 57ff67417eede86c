#pragma once

// What every statement reader's fuzz target holds it to: any bytes either give transactions, which
// the built-in rules then categorise, or an import error; nothing else.
#include "import/ImportError.h"
#include "import/Readers.h"
#include "import/Rules.h"

#include <QByteArray>
#include <cstdint>

namespace kwfuzz {

template <class Read>
int fuzzReader(const std::uint8_t *data, std::size_t size, Read read)
{
    static const kw::import::Rules rules = kw::import::Rules::parse(kw::import::Rules::builtInText());
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const kw::import::Statement st = read(bytes);
        for (const kw::import::Transaction &t : st.transactions) {
            const auto m = rules.categorise(t);
            (void)kw::import::bookedAmount(t, m.category);
        }
    } catch (const kw::import::ImportError &e) {
        (void)e.message();
    }
    return 0;
}

} // namespace kwfuzz
