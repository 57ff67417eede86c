// Any bytes given as a help file either load or are refused with a reason; what loads holds together.
#include "tools/help/HelpFile.h"

#include <QByteArray>
#include <cstdint>

using namespace kw::help;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const LoadResult r = parseHelpBytes(bytes, QStringLiteral("POMOC.HLP"));
    if (!r.ok) {
        if (r.error.isEmpty())
            __builtin_trap(); // a refusal always says why
        return 0;
    }
    const HelpFile &f = r.file;
    for (const Topic &t : f.topics()) {
        if (t.id.isEmpty() || f.topic(t.id) != &t || f.topicHtml(t.id).isEmpty())
            __builtin_trap(); // names are unique and every topic can be shown
    }
    for (const IndexEntry &e : f.index()) {
        if (e.topicIds.isEmpty())
            __builtin_trap();
        for (const QString &id : e.topicIds)
            if (!f.topic(id))
                __builtin_trap();
        // Typing a keyword always finds it.
        bool found = false;
        for (const IndexEntry &m : f.searchIndex(e.keyword))
            found = found || m.keyword == e.keyword;
        if (!found && !e.keyword.trimmed().isEmpty())
            __builtin_trap();
    }
    return 0;
}
