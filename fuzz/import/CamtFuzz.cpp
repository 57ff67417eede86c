// The camt.053/camt.052 reader.
#include "ReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return kwfuzz::fuzzReader(data, size, [](const QByteArray &bytes) { return kw::import::readCamt(bytes); });
}
