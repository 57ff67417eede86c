// The CSV reader, with a saved profile beside the Polish headers it knows.
#include "ReaderFuzz.h"
#include "import/CsvReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QList<kw::import::CsvProfile> profiles = kw::import::parseProfiles(
        QStringLiteral("[Bank]\nseparator = ;\nnagłówek = \"Kiedy\" \"Ile\" \"Kto\"\ndata operacji = 1\n"
                       "kwota = 2\nkontrahent = 3\n"));
    return kwfuzz::fuzzReader(data, size, [](const QByteArray &bytes) { return kw::import::readCsv(bytes, profiles); });
}
