#pragma once

#include "import/CsvProfile.h"
#include "import/Transaction.h"

#include <QByteArray>
#include <QString>

namespace kw::import {

// The format of a file, told from its content (never its name); nothing for content no reader
// takes (CSV is the answer for text that splits into columns).
std::optional<Format> detectFormat(const QByteArray &bytes);

// Reads a statement of any known format. Throws ImportError: Unrecognised, NeedsMapping (a table
// whose columns are unknown and no profile fits), Refused (naming the line). Statements larger
// than MaxStatementBytes are refused whole.
Statement readStatement(const QByteArray &bytes, const QList<CsvProfile> &profiles = {});
// The same from a file; errors carry the file's name (and the format's, once known).
Statement readStatementFile(const QString &path, const QList<CsvProfile> &profiles = {});

// A year of a busy account is a few megabytes; anything far beyond is not a statement.
inline constexpr qint64 MaxStatementBytes = 256LL * 1024 * 1024;

} // namespace kw::import
