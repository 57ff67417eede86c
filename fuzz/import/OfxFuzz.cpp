// The OFX reader, SGML and XML alike.
#include "ReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return kwfuzz::fuzzReader(data, size, [](const QByteArray &bytes) { return kw::import::readOfx(bytes); });
}
