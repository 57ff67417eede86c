// The SWIFT MT940/MT942 reader, after the text is decoded as the import decodes it.
#include "ReaderFuzz.h"
#include "import/TextTools.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return kwfuzz::fuzzReader(data, size, [](const QByteArray &bytes) {
        return kw::import::readMt940(kw::import::decodeText(bytes));
    });
}
