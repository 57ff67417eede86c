#include "import/ImportBooking.h"

#include "import/TextTools.h"

#include "ledger/Books.h"
#include "ledger/DbfFile.h"
#include "ledger/EngineError.h"
#include "ledger/OperationsTable.h"
#include "ledger/SharedFile.h"

#include <QFileInfo>
#include <QHash>
#include <cmath>
#include <map>

namespace kw::import {

namespace {

using ledger::OperationRecord;
using ledger::OperationsFile;

constexpr int RemarkLength = 50;
constexpr double Tolerance = 0.00005;

// What tells a line booked before. A bank's reference alone could repeat on another account, so it
// counts together with the date and the amount; a digest already holds them.
QString bookedKey(const QString &reference, const QDate &date, Amount amount)
{
    if (reference.startsWith(QLatin1Char('#')))
        return reference;
    return reference + QLatin1Char('|') + date.toString(Qt::ISODate) + QLatin1Char('|') +
           QString::number(amount);
}

Amount toAmount(double v)
{
    return Amount(std::llround(v * double(AmountScale)));
}

ledger::Period periodOf(const QDate &d)
{
    return ledger::Period::of(d.month(), d.year());
}

int categoryOfField(const QString &field)
{
    for (int i = 0; i < int(ledger::Categories.size()); ++i)
        if (field == QLatin1String(ledger::Categories[std::size_t(i)].day))
            return i;
    return -1;
}

// The fields of the operations table by index, resolved once per file.
struct OperationColumns
{
    int date, amount, currency, field, counterparty, title, account, key, file, import, booked, newDay,
        remark;
    explicit OperationColumns(const DbfFile &f)
    {
        ledger::checkOperationsLayout(f);
        const auto &r = OperationRecord;
        auto at = [&](const char *n) { return f.fieldIndex(QLatin1String(n)); };
        date = at(r.date);
        amount = at(r.amount);
        currency = at(r.currency);
        field = at(r.field);
        counterparty = at(r.counterparty);
        title = at(r.title);
        account = at(r.account);
        key = at(r.key);
        file = at(r.file);
        import = at(r.import);
        booked = at(r.booked);
        newDay = at(r.newDay);
        remark = at(r.remark);
    }
};

// A booked line as the operations table holds it.
struct OperationLine
{
    std::uint32_t recno = 0;
    Transaction t;
    int category = -1;
    int import = 0;
    QDate booked;
    QString file;
    QString key;
    bool newDay = false;
    bool remark = false;
};

OperationLine decodeLine(const DbfFile &f, const OperationColumns &c, std::uint32_t recno, const char *rec)
{
    OperationLine l;
    l.recno = recno;
    l.t.date = f.decode(rec, c.date).toDate();
    l.t.amount = toAmount(f.decode(rec, c.amount).toDouble());
    l.t.currency = f.decode(rec, c.currency).toString();
    l.t.counterparty = f.decode(rec, c.counterparty).toString();
    l.t.title = f.decode(rec, c.title).toString();
    l.t.account = f.decode(rec, c.account).toString();
    l.key = f.decode(rec, c.key).toString();
    l.category = categoryOfField(f.decode(rec, c.field).toString().trimmed());
    l.import = f.decode(rec, c.import).toInt();
    l.booked = f.decode(rec, c.booked).toDate();
    l.file = f.decode(rec, c.file).toString();
    l.newDay = f.decode(rec, c.newDay).toBool();
    l.remark = f.decode(rec, c.remark).toBool();
    return l;
}

// Every line of the folder's operations table (deleted ones too when asked), or none without one.
template <typename Fn> void scanOperations(const QString &folder, bool withDeleted, Fn fn)
{
    const QString path = SharedFile::resolve(folder, OperationsFile);
    if (path.isEmpty())
        return;
    const auto f = DbfFile::open(path);
    const OperationColumns c(*f);
    f->scan([&](std::uint32_t recno, const char *rec) {
        if (withDeleted || !DbfFile::isDeleted(rec))
            fn(decodeLine(*f, c, recno, rec), DbfFile::isDeleted(rec));
        return true;
    });
}

bool allZero(const ledger::Amounts &a)
{
    return std::all_of(a.begin(), a.end(), [](double v) { return std::fabs(v) < Tolerance; });
}

} // namespace

void ImportLine::setCategory(int c)
{
    category = c;
    refund = t.amount > 0 && c != IncomeCategory;
}

CategoryTotals ImportPlan::totals() const
{
    CategoryTotals out{};
    for (const ImportLine &l : lines)
        if (l.ticked && l.bookable())
            out[std::size_t(l.category)] += bookedAmount(l.t, l.category);
    return out;
}

int ImportPlan::tickedCount() const
{
    return int(std::count_if(lines.begin(), lines.end(),
                             [](const ImportLine &l) { return l.ticked && l.bookable(); }));
}

QStringList lineKeys(const Statement &statement)
{
    QStringList keys;
    QHash<QString, int> seen;
    for (const Transaction &t : statement.transactions) {
        if (!t.reference.isEmpty() && t.reference.size() <= 40 && !t.reference.startsWith(QLatin1Char('#'))) {
            keys << t.reference;
            continue;
        }
        const QString text = t.date.toString(Qt::ISODate) + QLatin1Char('|') + QString::number(t.amount) +
                             QLatin1Char('|') + t.account + QLatin1Char('|') + t.counterparty +
                             QLatin1Char('|') + t.title + QLatin1Char('|') + t.reference;
        const QString d = digest(text);
        keys << QStringLiteral("#%1#%2").arg(d).arg(++seen[d]);
    }
    return keys;
}

QSet<QString> bookedKeys(const QString &folder)
{
    QSet<QString> keys;
    scanOperations(folder, false, [&](const OperationLine &l, bool) {
        keys.insert(bookedKey(l.key, l.t.date, l.t.amount));
    });
    return keys;
}

ImportPlan planImport(const QString &file, const Statement &statement, const Rules &rules,
                      const QSet<QString> &booked)
{
    ImportPlan plan;
    plan.file = file;
    plan.statement = statement;
    const QStringList keys = lineKeys(statement);
    QSet<QString> inFile;
    plan.lines.reserve(std::size_t(statement.transactions.size()));
    for (qsizetype i = 0; i < statement.transactions.size(); ++i) {
        ImportLine l;
        l.t = statement.transactions[i];
        l.key = keys[i];
        const Rules::Match m = rules.categorise(l.t);
        l.rule = m.rule;
        l.setCategory(m.category);
        const QString full = bookedKey(l.key, l.t.date, l.t.amount);
        l.duplicate = booked.contains(full) || inFile.contains(full);
        inFile.insert(full);
        l.ticked = l.bookable() && !l.foreign();
        plan.lines.push_back(std::move(l));
    }
    return plan;
}

QString shortName(const QString &counterparty)
{
    static const QSet<QString> legal{QStringLiteral("sp"),     QStringLiteral("spolka"), QStringLiteral("z"),
                                     QStringLiteral("o"),      QStringLiteral("oo"),     QStringLiteral("sa"),
                                     QStringLiteral("sc"),     QStringLiteral("sj"),     QStringLiteral("sk"),
                                     QStringLiteral("sklep"),  QStringLiteral("nr"),     QStringLiteral("ul"),
                                     QStringLiteral("stacja"), QStringLiteral("oddzial")};
    QStringList kept;
    for (const QString &word : counterparty.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QString plain = fold(word);
        plain.remove(QLatin1Char('.'));
        const bool digits = std::any_of(word.begin(), word.end(), [](QChar c) { return c.isDigit(); });
        if (legal.contains(plain) || digits) {
            if (!kept.isEmpty())
                break;
            continue;
        }
        kept << word;
        if (kept.size() == 3)
            break;
    }
    QString name = kept.join(QLatin1Char(' '));
    // Names the bank wrote in capitals read better as names.
    if (name == name.toUpper() && name.size() > 3)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString remarkFor(const std::vector<const Transaction *> &lines)
{
    QStringList names;
    for (const Transaction *t : lines) {
        const QString n = shortName(t->counterparty);
        if (!n.isEmpty() && !names.contains(n, Qt::CaseInsensitive))
            names << n;
    }
    return names.join(QLatin1String(", ")).left(RemarkLength);
}

ImportResult bookImport(ledger::Books &books, const ImportPlan &plan, const QDateTime &now)
{
    ImportResult result;
    const QString folder = books.folder();
    // Another import may have booked some of these lines since the plan was made.
    const QSet<QString> booked = bookedKeys(folder);
    std::map<QDate, std::vector<const ImportLine *>> byDate;
    for (const ImportLine &l : plan.lines)
        if (l.ticked && l.bookable() && !booked.contains(bookedKey(l.key, l.t.date, l.t.amount)))
            byDate[l.t.date].push_back(&l);
    if (byDate.empty())
        return result;

    int number = 0;
    scanOperations(folder, true, [&](const OperationLine &l, bool) { number = std::max(number, l.import); });
    ++number;
    ledger::ensureOperationsTable(folder);

    ledger::Books::Batch b = books.batch();
    const DbfFile &layout = b.table(OperationsFile);
    const OperationColumns c(layout);
    const QDate today = now.date();
    const QString fileName = QFileInfo(plan.file).fileName();

    for (const auto &[date, lines] : byDate) {
        const ledger::Period period = periodOf(date);
        b.openPeriod(period);
        std::optional<ledger::DayEntry> existing;
        for (const ledger::DayEntry &e : b.days(period))
            if (e.ref.day == date.day()) {
                existing = e;
                break;
            }
        const bool created = !existing;
        const ledger::DayRef day = created ? b.newDay(period, date.day(), today) : existing->ref;
        ledger::Amounts amounts{};
        std::vector<const Transaction *> transactions;
        for (const ImportLine *l : lines) {
            const Amount a = bookedAmount(l->t, l->category);
            amounts[std::size_t(l->category)] += toDouble(a);
            result.totals[std::size_t(l->category)] += a;
            transactions.push_back(&l->t);
        }
        b.add(day, amounts, ledger::Sign::Add);
        const QString remark = remarkFor(transactions);
        const bool fillRemark = (created || existing->remark.trimmed().isEmpty()) && !remark.isEmpty();
        if (fillRemark)
            b.setRemark(day, remark);
        result.daysCreated += created ? 1 : 0;

        for (const ImportLine *l : lines) {
            std::string rec = layout.blankRecord();
            auto put = [&](int field, const QVariant &v) { layout.encode(rec.data(), field, v); };
            put(c.date, l->t.date);
            put(c.amount, toDouble(l->t.amount));
            put(c.currency, l->t.currency);
            put(c.field, QString::fromLatin1(ledger::Categories[std::size_t(l->category)].day));
            put(c.counterparty, l->t.counterparty);
            put(c.title, l->t.title);
            put(c.account, l->t.account);
            put(c.key, l->key);
            put(c.file, fileName);
            put(c.import, number);
            put(c.booked, today);
            put(c.newDay, created);
            put(c.remark, fillRemark);
            b.append(OperationsFile, rec);
            ++result.booked;
        }
    }
    b.commit();
    result.number = number;
    return result;
}

std::vector<ImportRecord> listImports(const QString &folder)
{
    std::map<int, ImportRecord> imports;
    scanOperations(folder, false, [&](const OperationLine &l, bool) {
        ImportRecord &r = imports[l.import];
        r.number = l.import;
        if (r.count++ == 0) {
            r.booked = l.booked;
            r.file = l.file;
        }
        r.total += l.t.amount;
    });
    std::vector<ImportRecord> out;
    for (auto &[n, r] : imports)
        out.push_back(r);
    return out;
}

int undoImport(ledger::Books &books, int number)
{
    std::map<QDate, std::vector<OperationLine>> byDate;
    int count = 0;
    scanOperations(books.folder(), false, [&](const OperationLine &l, bool) {
        if (l.import == number) {
            byDate[l.t.date].push_back(l);
            ++count;
        }
    });
    if (count == 0)
        return 0;

    ledger::Books::Batch b = books.batch();
    for (const auto &[date, lines] : byDate) {
        const ledger::Period period = periodOf(date);
        std::optional<ledger::DayEntry> day;
        for (const ledger::DayEntry &e : b.days(period))
            if (e.ref.day == date.day()) {
                day = e;
                break;
            }
        // A day the user deleted took the import's amounts out of the sums with it.
        if (day) {
            ledger::Amounts amounts{};
            std::vector<const Transaction *> remarked;
            bool created = false;
            for (const OperationLine &l : lines) {
                if (l.category >= 0)
                    amounts[std::size_t(l.category)] += toDouble(bookedAmount(l.t, l.category));
                if (l.remark)
                    remarked.push_back(&l.t);
                created = created || l.newDay;
            }
            b.add(day->ref, amounts, ledger::Sign::Subtract);
            const ledger::DayEntry after = *b.day(day->ref);
            // The remark this import wrote, if the day still has it; the user's own is kept.
            const bool ownRemark = !remarked.empty() && after.remark == remarkFor(remarked);
            const bool remarkLeft = !after.remark.trimmed().isEmpty() && !ownRemark;
            if (created && allZero(after.amounts) && !remarkLeft)
                b.deleteDay(day->ref);
            else if (ownRemark)
                b.setRemark(day->ref, QString());
        }
        for (const OperationLine &l : lines) {
            std::string rec = b.record(OperationsFile, l.recno);
            rec[0] = '*';
            b.write(OperationsFile, l.recno, rec);
        }
    }
    b.commit();
    return count;
}

} // namespace kw::import
