#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

namespace kw::import {

// Which column of a table holds what; 0-based, -1 when the table has no such column.
struct CsvColumns
{
    int date = -1;        // the operation (transaction) date, preferred
    int bookingDate = -1; // the booking date, used when the operation date is empty or missing
    int amount = -1;      // one signed amount ...
    int debit = -1;       // ... or debits and credits in two columns
    int credit = -1;
    int counterparty = -1;
    int title = -1;
    int account = -1;
    int reference = -1;
    int currency = -1;
    int status = -1; // "Oczekująca", "Zaksięgowana", ...

    bool hasDate() const { return date >= 0 || bookingDate >= 0; }
    bool hasAmount() const { return amount >= 0 || debit >= 0 || credit >= 0; }
    bool usable() const { return hasDate() && hasAmount(); }
    bool operator==(const CsvColumns &) const = default;
};

enum class CsvEncoding
{
    Auto, // byte-order mark, else UTF-8 when valid, else Windows-1250
    Utf8,
    Windows1250
};

// A column mapping the user saved for the tables of one bank, found again by the header line.
struct CsvProfile
{
    QString name;
    QChar separator = QLatin1Char(';');
    CsvEncoding encoding = CsvEncoding::Auto;
    QStringList header; // the header line's cells; empty when the table has none
    int skip = 0;       // lines before the first data row of a table without a header
    CsvColumns columns;
    bool operator==(const CsvProfile &) const = default;
};

// The profiles are kept in the data folder in this file (UTF-8, one block a profile).
inline const QString ProfileFile = QStringLiteral("ProfileCSV.txt");

// Reads the profiles of a data folder; a missing file is no profiles. A line that cannot be read is
// named in `problems` ("wiersz N: ...") and left out.
QList<CsvProfile> loadProfiles(const QString &directory, QStringList *problems = nullptr);
QList<CsvProfile> parseProfiles(const QString &text, QStringList *problems = nullptr);
QString writeProfiles(const QList<CsvProfile> &profiles);
// Adds the profile, or replaces the one of the same name, and writes the file whole.
// Throws ImportError (Unwritable) naming the file when it cannot be written.
void saveProfile(const QString &directory, const CsvProfile &profile);

} // namespace kw::import
