// Any bytes handed to the dBase file level either parse or give an engine error; nothing else.
#include "ledger/DbfFile.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerCheck.h"

#include <QByteArray>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    try {
        auto f = kw::DbfFile::fromBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
        std::string rec(std::size_t(f->recordLength()), ' ');
        const std::uint32_t n = std::min<std::uint32_t>(f->recordCount(), 64);
        for (std::uint32_t r = 0; r < n; ++r) {
            f->readRecord(r, rec.data());
            (void)kw::ledger::damagedNumber(*f, r, rec.data()); // the check every reader makes first
            for (int i = 0; i < int(f->fields().size()); ++i) {
                try {
                    const QVariant v = f->decode(rec.data(), i);
                    std::string copy = rec;
                    f->encode(copy.data(), i, v); // what was read can be written back
                } catch (const kw::EngineError &) {
                }
            }
        }
    } catch (const kw::EngineError &) {
    }
    return 0;
}
