#pragma once

// Writing into stored records behind the program's back, for tests of damaged tables; no test
// framework here, so window tests use it too.
#include "ledger/DbfFile.h"

#include <QString>
#include <algorithm>
#include <string>

namespace kwtest {

// Puts text into a field of a stored record as another program might have left it: right-aligned,
// bypassing every check of the writers.
inline void putFieldText(const QString &path, std::uint32_t recno, const char *field, const std::string &text)
{
    auto f = kw::DbfFile::open(path);
    std::string rec(std::size_t(f->recordLength()), ' ');
    f->readRecord(recno, rec.data());
    const kw::DbfField &d = f->fields()[std::size_t(f->fieldIndex(QLatin1String(field)))];
    std::string cell(std::size_t(d.length), ' ');
    cell.replace(cell.size() - std::min(cell.size(), text.size()), std::min(cell.size(), text.size()), text);
    rec.replace(std::size_t(d.offset), cell.size(), cell);
    f->writeRecord(recno, rec.data());
}

} // namespace kwtest
