#pragma once

// The readers of each format. Each gives the transactions in file order or throws ImportError
// (Refused, naming the line); the entry point in StatementReader.h picks one by the content.

#include "import/Transaction.h"

#include <QByteArray>
#include <QString>

namespace kw::import {

// SWIFT MT940 and MT942: several statements in one file, ":86:" with "~NN" or "?NN" subfields or
// plain text; the format comes back as Mt942 when the file is an interim report.
Statement readMt940(const QString &text);
bool looksLikeMt940(const QString &text);

// ISO 20022 camt.053 (statements) and camt.052 (reports); camt.054 notifications read as 052.
Statement readCamt(const QByteArray &bytes);
bool looksLikeCamt(const QByteArray &head);

// OFX 1.x (SGML, leaf elements without end tags) and 2.x (XML).
Statement readOfx(const QByteArray &bytes);
bool looksLikeOfx(const QByteArray &head);

} // namespace kw::import
