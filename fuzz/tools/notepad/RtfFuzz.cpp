// Any bytes handed to the RTF reader either load or are refused with LoadError; nothing else.
// What loads is written out and read again, and must come back with the same text.
#include "tools/notepad/Rtf.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

namespace {
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz_rtf";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ensureApplication();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    kw::rtf::Document first;
    try {
        first = kw::rtf::parse(bytes);
    } catch (const kw::rtf::LoadError &) {
        return 0;
    }
    QTextDocument doc;
    kw::rtf::build(first, &doc);
    const QByteArray written = kw::rtf::write(doc);
    const kw::rtf::Document again = kw::rtf::parse(written); // our own output is never refused
    if (again.paragraphs.size() != first.paragraphs.size() || again.plainText() != first.plainText())
        std::abort();
    return 0;
}
