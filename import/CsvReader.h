#pragma once

#include "import/CsvProfile.h"
#include "import/Transaction.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace kw::import {

// A table as its text splits into records: quotes may hold separators, quotes ("") and line
// breaks. `lines` holds the line each record starts on (1-based).
struct CsvTable
{
    QChar separator;
    QList<QStringList> rows;
    QList<int> lines;
};

// Throws ImportError (Refused) naming the line of a quote that is never closed, unless `strict` is
// false (the quoted cell then runs to the end). At most `maxRows` records are read when it is not
// negative.
CsvTable splitCsv(const QString &text, QChar separator, int maxRows = -1, bool strict = true);

// The separator of the table: the one (';', tab, ',') under which a header is recognised, else the
// one that splits the first lines most evenly into more than one column; a null QChar for text that
// is no table.
QChar guessSeparator(const QString &text);

// The columns a header line names, by the Polish names banks give them; nothing usable when
// neither a date nor an amount column is among them.
CsvColumns recogniseHeader(const QStringList &cells);

// The transactions of a table read with the columns given, from record `first` on.
Statement readCsvRows(const CsvTable &table, int first, const CsvColumns &columns);

// Reads a table: a saved profile whose header (or shape) the file has is used first, then the
// header recognised by its Polish names. Throws ImportError: NeedsMapping when neither finds the
// columns, Refused naming the line of a row that cannot be read.
Statement readCsv(const QByteArray &bytes, const QList<CsvProfile> &profiles);

// The text of the table, as the profile (or, with none, the content) tells its encoding.
QString decodeCsv(const QByteArray &bytes, CsvEncoding encoding);

} // namespace kw::import
