#include "import/StatementReader.h"

#include "import/CsvReader.h"
#include "import/ImportError.h"
#include "import/Readers.h"
#include "import/TextTools.h"

#include <QFile>

namespace kw::import {

QString formatName(Format format)
{
    switch (format) {
    case Format::Mt940:
        return QStringLiteral("MT940");
    case Format::Mt942:
        return QStringLiteral("MT942");
    case Format::Camt053:
        return QStringLiteral("camt.053");
    case Format::Camt052:
        return QStringLiteral("camt.052");
    case Format::Ofx:
        return QStringLiteral("OFX");
    case Format::Csv:
        break;
    }
    return QStringLiteral("CSV");
}

namespace {

// Office documents, PDFs and other binary files: a NUL byte outside UTF-16 text.
bool isBinary(const QByteArray &head)
{
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        return false;
    return head.contains('\0');
}

} // namespace

std::optional<Format> detectFormat(const QByteArray &bytes)
{
    const QByteArray head = bytes.left(64 * 1024);
    if (isBinary(head) || head.startsWith("%PDF"))
        return std::nullopt;
    if (looksLikeCamt(head))
        return head.contains("BkToCstmrAcctRpt") || head.contains("camt.052") ? Format::Camt052
                                                                              : Format::Camt053;
    if (looksLikeOfx(head))
        return Format::Ofx;
    const QString text = decodeText(head);
    if (looksLikeMt940(text))
        return Format::Mt940;
    if (!guessSeparator(text).isNull())
        return Format::Csv;
    return std::nullopt;
}

Statement readStatement(const QByteArray &bytes, const QList<CsvProfile> &profiles)
{
    if (bytes.size() > MaxStatementBytes)
        throw ImportError(
            ImportError::Kind::Refused,
            QStringLiteral("plik ma ponad %1 MB; to nie jest wyciąg").arg(MaxStatementBytes >> 20));
    const auto format = detectFormat(bytes);
    if (!format) {
        // Text with too few lines to tell a table by may still be one that a saved profile reads.
        if (profiles.isEmpty() || isBinary(bytes.left(64 * 1024)))
            throw ImportError(ImportError::Kind::Unrecognised, QString());
        return readCsv(bytes, profiles);
    }
    switch (*format) {
    case Format::Camt053:
    case Format::Camt052:
        return readCamt(bytes);
    case Format::Ofx:
        return readOfx(bytes);
    case Format::Mt940:
    case Format::Mt942:
        return readMt940(decodeText(bytes));
    case Format::Csv:
        break;
    }
    return readCsv(bytes, profiles);
}

Statement readStatementFile(const QString &path, const QList<CsvProfile> &profiles)
{
    QFile f(path);
    QByteArray bytes;
    try {
        if (!f.open(QIODevice::ReadOnly))
            throw ImportError(ImportError::Kind::Unreadable, f.errorString());
        if (f.size() > MaxStatementBytes)
            throw ImportError(
                ImportError::Kind::Refused,
                QStringLiteral("plik ma ponad %1 MB; to nie jest wyciąg").arg(MaxStatementBytes >> 20));
        bytes = f.readAll();
        if (f.error() != QFileDevice::NoError)
            throw ImportError(ImportError::Kind::Unreadable, f.errorString());
        return readStatement(bytes, profiles);
    } catch (ImportError &e) {
        const auto format = bytes.isEmpty() ? std::nullopt : detectFormat(bytes);
        e.setFile(path, format ? formatName(*format) : QString());
        throw;
    }
}

} // namespace kw::import
