#include "import/CsvProfile.h"

#include "import/ImportError.h"
#include "import/TextTools.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace kw::import {

namespace {

// The keys of a profile block and the column each names.
struct ColumnKey
{
    const char *key;
    int CsvColumns::*column;
};
constexpr ColumnKey ColumnKeys[] = {
    {"data operacji", &CsvColumns::date},   {"data księgowania", &CsvColumns::bookingDate},
    {"kwota", &CsvColumns::amount},         {"obciążenia", &CsvColumns::debit},
    {"uznania", &CsvColumns::credit},       {"kontrahent", &CsvColumns::counterparty},
    {"tytuł", &CsvColumns::title},          {"rachunek", &CsvColumns::account},
    {"referencja", &CsvColumns::reference}, {"waluta", &CsvColumns::currency},
    {"status", &CsvColumns::status},
};

QString separatorName(QChar c)
{
    if (c == QLatin1Char('\t'))
        return QStringLiteral("tab");
    return QString(c);
}

const char *encodingName(CsvEncoding e)
{
    switch (e) {
    case CsvEncoding::Utf8:
        return "utf-8";
    case CsvEncoding::Windows1250:
        return "windows-1250";
    case CsvEncoding::Auto:
        break;
    }
    return "auto";
}

} // namespace

QList<CsvProfile> parseProfiles(const QString &text, QStringList *problems)
{
    QList<CsvProfile> out;
    CsvProfile *cur = nullptr;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        auto problem = [&](const QString &what) {
            if (problems)
                problems->append(QStringLiteral("wiersz %1: %2").arg(i + 1).arg(what));
        };
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            out.append(CsvProfile{});
            cur = &out.back();
            cur->name = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!cur || eq < 0) {
            problem(QStringLiteral("oczekiwano „[nazwa profilu]” albo „klucz = wartość”"));
            continue;
        }
        const QString key = fold(line.left(eq));
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("separator")) {
            if (value == QLatin1String("tab"))
                cur->separator = QLatin1Char('\t');
            else if (value.size() == 1)
                cur->separator = value[0];
            else
                problem(QStringLiteral("separator to jeden znak albo „tab”"));
        } else if (key == QLatin1String("kodowanie")) {
            const QString v = fold(value);
            cur->encoding = v == QLatin1String("utf-8")          ? CsvEncoding::Utf8
                            : v == QLatin1String("windows-1250") ? CsvEncoding::Windows1250
                                                                 : CsvEncoding::Auto;
        } else if (key == QLatin1String("naglowek")) {
            // The header's cells, each in quotes, so separators and spaces inside them survive.
            cur->header.clear();
            qsizetype p = 0;
            while ((p = value.indexOf(QLatin1Char('"'), p)) >= 0) {
                QString cell;
                qsizetype q = p + 1;
                for (; q < value.size(); ++q) {
                    if (value[q] == QLatin1Char('"')) {
                        if (q + 1 < value.size() && value[q + 1] == QLatin1Char('"')) {
                            cell += QLatin1Char('"');
                            ++q;
                            continue;
                        }
                        break;
                    }
                    cell += value[q];
                }
                cur->header << cell;
                p = q + 1;
            }
        } else if (key == QLatin1String("pomin")) {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (ok && n >= 0)
                cur->skip = n;
            else
                problem(QStringLiteral("„pomiń” to liczba wierszy"));
        } else {
            bool known = false;
            for (const ColumnKey &k : ColumnKeys) {
                if (fold(QString::fromUtf8(k.key)) != key)
                    continue;
                known = true;
                bool ok = false;
                const int n = value.toInt(&ok);
                if (value.isEmpty())
                    cur->columns.*k.column = -1;
                else if (ok && n >= 1 && n <= 1000)
                    cur->columns.*k.column = n - 1;
                else
                    problem(QStringLiteral("numer kolumny „%1” powinien być liczbą od 1").arg(value));
            }
            if (!known)
                problem(QStringLiteral("nieznany klucz „%1”").arg(line.left(eq).trimmed()));
        }
    }
    return out;
}

QString writeProfiles(const QList<CsvProfile> &profiles)
{
    QString out = QStringLiteral("# Profile kolumn plików CSV, zapisane w oknie „Import wyciągu”.\n"
                                 "# Jeden blok na bank: [nazwa], a pod nią klucze. Kolumny liczy się od 1; "
                                 "pusty numer: brak kolumny.\n"
                                 "# „nagłówek” to komórki wiersza nagłówka w cudzysłowach; po nim profil "
                                 "poznaje następny plik banku.\n"
                                 "# Bez nagłówka „pomiń” mówi, ile wierszy poprzedza pierwszą operację.\n");
    for (const CsvProfile &p : profiles) {
        out += QStringLiteral("\n[%1]\n").arg(p.name);
        out += QStringLiteral("separator = %1\n").arg(separatorName(p.separator));
        out += QStringLiteral("kodowanie = %1\n").arg(QLatin1String(encodingName(p.encoding)));
        QStringList cells;
        for (QString c : p.header)
            cells << QLatin1Char('"') + c.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
        out += QStringLiteral("nagłówek = %1\n").arg(cells.join(QLatin1Char(' ')));
        if (p.header.isEmpty())
            out += QStringLiteral("pomiń = %1\n").arg(p.skip);
        for (const ColumnKey &k : ColumnKeys) {
            const int c = p.columns.*k.column;
            out += QStringLiteral("%1 = %2\n")
                       .arg(QString::fromUtf8(k.key), c >= 0 ? QString::number(c + 1) : QString());
        }
    }
    return out;
}

QList<CsvProfile> loadProfiles(const QString &directory, QStringList *problems)
{
    QFile f(QDir(directory).filePath(ProfileFile));
    if (!f.exists())
        return {};
    if (!f.open(QIODevice::ReadOnly)) {
        if (problems)
            problems->append(
                QStringLiteral("nie można odczytać pliku %1: %2").arg(ProfileFile, f.errorString()));
        return {};
    }
    return parseProfiles(QString::fromUtf8(f.readAll()), problems);
}

void saveProfile(const QString &directory, const CsvProfile &profile)
{
    QList<CsvProfile> all = loadProfiles(directory);
    auto it =
        std::find_if(all.begin(), all.end(), [&](const CsvProfile &p) { return p.name == profile.name; });
    if (it != all.end())
        *it = profile;
    else
        all.append(profile);
    const QString path = QDir(directory).filePath(ProfileFile);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
        f.write(writeProfiles(all).toUtf8()) < 0 || !f.commit()) {
        ImportError e(ImportError::Kind::Unwritable, f.errorString());
        e.setFile(path, QString());
        throw e;
    }
}

} // namespace kw::import
