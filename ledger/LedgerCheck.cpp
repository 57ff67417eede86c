#include "ledger/LedgerCheck.h"
#include "ledger/DbfFile.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerSchema.h"
#include "ledger/NumberText.h"
#include "ledger/OperationsTable.h"
#include "ledger/SharedFile.h"
#include "ledger/Table.h"

#include <QDir>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <vector>

namespace kw::ledger {

namespace {
constexpr double Tolerance = 0.00005;
using Amounts = std::array<double, Categories.size()>;

struct SumRecord
{
    Amounts amounts{};
    double income = 0, expenses = 0, budget = 0;
    int count = 0;
    bool damaged = false;
};

// Read only from records that passed damagedNumber(): a blank is 0.
double num(const DbfFile &f, const char *rec, int field)
{
    const QVariant v = f.decode(rec, field);
    return v.isNull() ? 0.0 : v.toDouble();
}

int need(const DbfFile &f, const char *name)
{
    const int i = f.fieldIndex(QString::fromLatin1(name));
    if (i < 0)
        throw EngineError(QStringLiteral("%1: brak pola %2").arg(f.displayName(), QLatin1String(name)));
    return i;
}

// The shortest fixed form of any double: up to 309 digits before the point (1e308) and some 340
// after it (the smallest subnormals).
QString plain(double v)
{
    char buf[512];
    if (v == 0)
        v = 0;
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (r.ec != std::errc())
        r = std::to_chars(buf, buf + sizeof buf, v); // cannot happen for a double; never print junk
    return QString::fromLatin1(buf, r.ec == std::errc() ? int(r.ptr - buf) : 0);
}

std::unique_ptr<DbfFile> openIn(const QString &dir, const QString &name)
{
    const QString path = SharedFile::resolve(dir, name);
    if (path.isEmpty())
        throw EngineError(QStringLiteral("Plik %1 nie istnieje w katalogu %2.")
                              .arg(name, QDir::toNativeSeparators(QDir(dir).absolutePath())));
    return DbfFile::open(path);
}

void checkSum(QStringList &out, const QString &what, const SumRecord &s, const Amounts &expected, bool yearly)
{
    const Level level = yearly ? Level::Year : Level::Month;
    const DerivedFields &names = derivedFields(level);
    for (std::size_t i = 0; i < Categories.size(); ++i) {
        const double d = s.amounts[i] - expected[i];
        if (std::fabs(d) > Tolerance)
            out << QStringLiteral("%1: %2 wynosi %3, a wpisy dzienne dają razem %4 (różnica %5)")
                       .arg(what, QLatin1String(Categories[i].field(level)), plain(s.amounts[i]),
                            plain(expected[i]), plain(d));
    }
    double income = s.amounts[0];
    for (std::size_t i = 1; i < std::size_t(IncomeKinds); ++i)
        income -= s.amounts[i];
    double expenses = 0;
    for (std::size_t i = IncomeKinds; i < Categories.size(); ++i)
        expenses += s.amounts[i];
    const struct
    {
        const char *name;
        double stored, computed;
    } derived[] = {
        {names.income, s.income, income},
        {names.expenses, s.expenses, expenses},
        {names.budget, s.budget, s.income - s.expenses},
    };
    for (const auto &d : derived)
        if (std::fabs(d.stored - d.computed) > Tolerance)
            out << QStringLiteral("%1: %2 wynosi %3, a powinno %4")
                       .arg(what, QLatin1String(d.name), plain(d.stored), plain(d.computed));
}
// What imports booked into a day must still be in it: the day's field holds at least the lines'
// total (a refund, which takes money off, is not checked), and a day with imported lines exists.
void checkImports(QStringList &out, const QString &directory, const DbfFile &day)
{
    const QString path = SharedFile::resolve(directory, OperationsFile);
    if (path.isEmpty())
        return;
    const auto ops = DbfFile::open(path);
    checkOperationsLayout(*ops);
    using DayKey = std::tuple<int, int, int>; // year, month, day
    std::map<DayKey, Amounts> imported;
    std::map<DayKey, std::set<int>> imports;
    const auto &r = OperationRecord;
    const int date = need(*ops, r.date), amount = need(*ops, r.amount), field = need(*ops, r.field),
              number = need(*ops, r.import);
    ops->scan([&](std::uint32_t, const char *rec) {
        if (DbfFile::isDeleted(rec))
            return true;
        const QDate d = ops->decode(rec, date).toDate();
        const QString f = ops->decode(rec, field).toString().trimmed();
        const auto c = std::find_if(Categories.begin(), Categories.end(),
                                    [&](const Category &k) { return f == QLatin1String(k.day); });
        if (!d.isValid() || c == Categories.end()) {
            out << QStringLiteral("Plik %1: operacja importu bez poprawnej daty albo pola kategorii")
                       .arg(ops->displayName());
            return true;
        }
        const std::size_t i = std::size_t(c - Categories.begin());
        const DayKey k{d.year(), d.month(), d.day()};
        imported[k][i] += bookedValue(i, num(*ops, rec, amount));
        imports[k].insert(ops->decode(rec, number).toInt());
        return true;
    });
    if (imported.empty())
        return;

    std::map<DayKey, Amounts> held;
    std::array<int, Categories.size()> idx{};
    for (std::size_t i = 0; i < Categories.size(); ++i)
        idx[i] = need(day, Categories[i].day);
    const int m = need(day, DayRecord.month), y = need(day, DayRecord.year), dn = need(day, DayRecord.day);
    day.scan([&](std::uint32_t, const char *rec) {
        if (DbfFile::isDeleted(rec))
            return true;
        bool okM = false, okY = false;
        const int month = day.decode(rec, m).toString().toInt(&okM),
                  year = day.decode(rec, y).toString().toInt(&okY);
        const DayKey k{year, month, int(num(day, rec, dn))};
        if (!okM || !okY || !imported.count(k))
            return true;
        Amounts &h = held[k];
        for (std::size_t i = 0; i < Categories.size(); ++i)
            h[i] += num(day, rec, idx[i]);
        return true;
    });
    for (const auto &[k, amounts] : imported) {
        const auto [year, month, d] = k;
        QStringList numbers;
        for (const int n : imports[k])
            numbers << QString::number(n);
        const QString what = QStringLiteral("dzień %1.%2.%3 (import nr %4)")
                                 .arg(d)
                                 .arg(month)
                                 .arg(year)
                                 .arg(numbers.join(QLatin1String(", ")));
        const auto h = held.find(k);
        if (h == held.end()) {
            out << QStringLiteral("%1: operacje importu są zapisane, ale nie ma wpisu tego dnia").arg(what);
            continue;
        }
        for (std::size_t i = 0; i < Categories.size(); ++i)
            if (amounts[i] > Tolerance && h->second[i] < amounts[i] - Tolerance)
                out << QStringLiteral("%1: import wpisał do %2 razem %3, a dzień ma tylko %4")
                           .arg(what, QLatin1String(Categories[i].day), plain(amounts[i]),
                                plain(h->second[i]));
    }
}
} // namespace

QString damagedNumber(const DbfFile &file, std::uint32_t recno, const char *record)
{
    const auto &fields = file.fields();
    for (int i = 0; i < int(fields.size()); ++i) {
        if (fields[std::size_t(i)].type != 'N' && fields[std::size_t(i)].type != 'F')
            continue;
        std::string_view text = file.rawText(record, i); // trailing blanks and NULs gone
        while (!text.empty() && (text.front() == ' ' || text.front() == '\0'))
            text.remove_prefix(1);
        const QString fault = kw::numberFault(text);
        if (!fault.isEmpty())
            return QStringLiteral(
                       "Plik %1 jest uszkodzony: w rekordzie nr %2 pole %3 zawiera „%4”, %5. Popraw ten "
                       "rekord albo odtwórz plik z kopii zapasowej.")
                .arg(file.displayName())
                .arg(recno + 1)
                .arg(fields[std::size_t(i)].name, visibleText(text), fault);
    }
    return QString();
}

void checkRecord(const DbfFile &file, std::uint32_t recno, const char *record, EngineError::Outcome outcome)
{
    if (const QString damage = damagedNumber(file, recno, record); !damage.isEmpty())
        throw EngineError(EngineError::Kind::Damaged, QString(), damage, outcome);
}

void checkVisibleRecords(kw::Table &table)
{
    if (!table.active())
        return;
    std::vector<std::uint32_t> recnos;
    recnos.reserve(std::size_t(std::max(0, table.recordCount())));
    for (table.first(); !table.eof(); table.next())
        recnos.push_back(std::uint32_t(table.currentRecno()));
    table.first();
    std::sort(recnos.begin(), recnos.end()); // neighbours are read together
    table.file().readEach(recnos.data(), recnos.size(), [&](std::uint32_t recno, const char *record) {
        checkRecord(table.file(), recno, record);
    });
}

void checkCurrentRecord(const kw::Table &table)
{
    if (!table.active() || table.currentRecno() < 0)
        return;
    const auto recno = std::uint32_t(table.currentRecno());
    table.file().readEach(&recno, 1,
                          [&](std::uint32_t n, const char *record) { checkRecord(table.file(), n, record); });
}

QStringList verifyLedger(const QString &directory)
{
    QStringList out;
    const auto day = openIn(directory, DayFile);
    const auto month = openIn(directory, MonthFile);
    const auto year = openIn(directory, YearFile);

    // A count that another program left too small hides records from every reader that trusts it,
    // and the next append would overwrite the first of them.
    for (const DbfFile *f : {day.get(), month.get(), year.get()}) {
        if (f->hiddenRecords() > 0)
            out << QStringLiteral("Plik %1: nagłówek podaje %2, a w pliku jest ich więcej o %3 "
                                  "(licznik rekordów w nagłówku jest uszkodzony)")
                       .arg(f->displayName(), kw::countOf(f->recordCount(), "rekord", "rekordy", "rekordów"))
                       .arg(f->hiddenRecords());
        if (!f->writeRefusal().isEmpty())
            out << QStringLiteral("Plik %1: %2; program go czyta, ale nie zapisuje")
                       .arg(f->displayName(), f->writeRefusal());
    }

    std::map<std::pair<QString, QString>, Amounts> dayByPeriod;
    std::map<QString, Amounts> dayByYear;
    // Periods and years with a damaged number somewhere: their sums cannot be recounted.
    std::set<std::pair<QString, QString>> damagedPeriods;
    std::set<QString> damagedYears;
    {
        const int m = need(*day, DayRecord.month), y = need(*day, DayRecord.year);
        std::array<int, Categories.size()> idx{};
        for (std::size_t i = 0; i < Categories.size(); ++i)
            idx[i] = need(*day, Categories[i].day);
        day->scan([&](std::uint32_t recno, const char *rec) {
            if (DbfFile::isDeleted(rec))
                return true;
            const QString mt = day->decode(rec, m).toString(), yt = day->decode(rec, y).toString();
            if (const QString damage = damagedNumber(*day, recno, rec); !damage.isEmpty()) {
                out << damage;
                damagedPeriods.insert({mt, yt});
                damagedYears.insert(yt);
                return true;
            }
            if (mt.isEmpty() || yt.isEmpty())
                return true; // a blank key belongs to no period and counts nowhere
            Amounts &p = dayByPeriod[{mt, yt}];
            Amounts &yr = dayByYear[yt];
            for (std::size_t i = 0; i < Categories.size(); ++i) {
                const double v = num(*day, rec, idx[i]);
                p[i] += v;
                yr[i] += v;
            }
            return true;
        });
    }

    auto readSums = [&](const DbfFile &f, bool yearly, auto keyOf) {
        std::map<decltype(keyOf(nullptr)), SumRecord> sums;
        const Level level = yearly ? Level::Year : Level::Month;
        std::array<int, Categories.size()> idx{};
        for (std::size_t i = 0; i < Categories.size(); ++i)
            idx[i] = need(f, Categories[i].field(level));
        const DerivedFields &d = derivedFields(level);
        const int in = need(f, d.income), ex = need(f, d.expenses), bu = need(f, d.budget);
        f.scan([&](std::uint32_t recno, const char *rec) {
            if (DbfFile::isDeleted(rec))
                return true;
            SumRecord &s = sums[keyOf(rec)];
            if (++s.count > 1)
                return true; // reported below; the first record is the one the program works on
            if (const QString damage = damagedNumber(f, recno, rec); !damage.isEmpty()) {
                out << damage;
                s.damaged = true;
                return true;
            }
            for (std::size_t i = 0; i < Categories.size(); ++i)
                s.amounts[i] = num(f, rec, idx[i]);
            s.income = num(f, rec, in);
            s.expenses = num(f, rec, ex);
            s.budget = num(f, rec, bu);
            return true;
        });
        return sums;
    };

    const int sm = need(*month, MonthRecord.month), sy = need(*month, MonthRecord.year),
              ry = need(*year, YearRecord.year);
    const auto monthSums = readSums(*month, false, [&](const char *rec) {
        return rec ? std::make_pair(month->decode(rec, sm).toString(), month->decode(rec, sy).toString())
                   : std::pair<QString, QString>();
    });
    const auto yearSums = readSums(
        *year, true, [&](const char *rec) { return rec ? year->decode(rec, ry).toString() : QString(); });

    for (const auto &[key, s] : monthSums) {
        const QString what = QStringLiteral("suma miesiąca %1/%2").arg(key.first, key.second);
        if (s.count > 1)
            out << QStringLiteral("%1: rekordów tego okresu jest %2, a powinien być jeden")
                       .arg(what)
                       .arg(s.count);
        if (s.damaged || damagedPeriods.count(key)) {
            out << QStringLiteral("%1: nie porównano z wpisami dziennymi, bo liczby są uszkodzone (wyżej)")
                       .arg(what);
            continue;
        }
        auto it = dayByPeriod.find(key);
        checkSum(out, what, s, it == dayByPeriod.end() ? Amounts{} : it->second, false);
    }
    for (const auto &[key, s] : yearSums) {
        const QString what = QStringLiteral("suma roku %1").arg(key);
        if (s.count > 1)
            out << QStringLiteral("%1: rekordów tego roku jest %2, a powinien być jeden")
                       .arg(what)
                       .arg(s.count);
        if (s.damaged || damagedYears.count(key)) {
            out << QStringLiteral("%1: nie porównano z wpisami dziennymi, bo liczby są uszkodzone (wyżej)")
                       .arg(what);
            continue;
        }
        auto it = dayByYear.find(key);
        checkSum(out, what, s, it == dayByYear.end() ? Amounts{} : it->second, true);
    }
    for (const auto &[key, totals] : dayByPeriod)
        if (!monthSums.count(key) &&
            std::any_of(totals.begin(), totals.end(), [](double v) { return std::fabs(v) > Tolerance; }))
            out << QStringLiteral("okres %1/%2: są wpisy dzienne, ale brak sumy miesiąca")
                       .arg(key.first, key.second);
    for (const auto &[key, totals] : dayByYear)
        if (!yearSums.count(key) &&
            std::any_of(totals.begin(), totals.end(), [](double v) { return std::fabs(v) > Tolerance; }))
            out << QStringLiteral("rok %1: są wpisy dzienne, ale brak sumy roku").arg(key);
    checkImports(out, directory, *day);
    return out;
}

QString dumpTableCsv(const QString &path)
{
    const auto f = DbfFile::open(path);
    auto cell = [](QString s) {
        if (s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('"')) || s.contains(QLatin1Char('\n')) ||
            s.contains(QLatin1Char('\r')))
            s = QLatin1Char('"') + s.replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
        return s;
    };
    QString out;
    QStringList header;
    for (const auto &fd : f->fields())
        header << cell(fd.name);
    header << QStringLiteral("DELETED");
    out += header.join(QLatin1Char(',')) + QLatin1Char('\n');
    f->scan([&](std::uint32_t recno, const char *rec) {
        checkRecord(*f, recno, rec);
        QStringList row;
        for (int i = 0; i < int(f->fields().size()); ++i) {
            const QVariant v = f->decode(rec, i);
            if (v.isNull())
                row << QString();
            else if (v.typeId() == QMetaType::QDate)
                row << v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
            else if (v.typeId() == QMetaType::QDateTime)
                row << v.toDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
            else if (v.typeId() == QMetaType::Bool)
                row << (v.toBool() ? QStringLiteral("T") : QStringLiteral("F"));
            else if (v.typeId() == QMetaType::Double)
                row << plain(v.toDouble());
            else if (v.typeId() == QMetaType::Int)
                row << QString::number(v.toInt());
            else
                row << cell(v.toString());
        }
        row << (DbfFile::isDeleted(rec) ? QStringLiteral("1") : QStringLiteral("0"));
        out += row.join(QLatin1Char(',')) + QLatin1Char('\n');
        return true;
    });
    return out;
}

} // namespace kw::ledger
