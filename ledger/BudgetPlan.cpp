#include "ledger/BudgetPlan.h"
#include "ledger/EngineError.h"
#include "ledger/SharedFile.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

namespace kw::ledger {

namespace {

struct PlanLayout
{
    int year = -1;
    int month = -1;
    std::array<int, Categories.size()> amounts{};

    static PlanLayout of(const DbfFile &f)
    {
        checkFields(f, planRequirements());
        PlanLayout l;
        l.year = f.fieldIndex(QString::fromLatin1(PlanRecord.year));
        l.month = f.fieldIndex(QString::fromLatin1(PlanRecord.month));
        for (std::size_t i = 0; i < Categories.size(); ++i)
            l.amounts[i] = f.fieldIndex(QString::fromLatin1(Categories[i].day));
        return l;
    }
};

std::pair<QString, QString> keyOf(const DbfFile &f, const PlanLayout &l, const char *record)
{
    return {f.decode(record, l.year).toString().trimmed(), f.decode(record, l.month).toString().trimmed()};
}

bool hasPlanFile(const Books &books)
{
    return !SharedFile::resolve(books.folder(), PlanFile).isEmpty();
}

// A year or month text the field cannot give back as it was written would make a plan nobody finds.
void checkText(const DbfFile &f, int field, const QString &text, const PlanEntry &e)
{
    const DbfField &d = f.fields()[std::size_t(field)];
    const std::string bytes = f.codePage().encode(text);
    if (int(bytes.size()) > d.length || text != text.trimmed())
        throw EngineError(QStringLiteral("Planu na %1/%2 nie można zapisać w pliku %3: pole %4 ma %5 "
                                         "znaków. Nic nie zostało zapisane.")
                              .arg(e.month.isEmpty() ? QStringLiteral("każdy miesiąc") : e.month, e.year,
                                   f.displayName(), d.name)
                              .arg(d.length));
}

} // namespace

bool hasAmounts(const PlanAmounts &amounts)
{
    for (const auto &a : amounts)
        if (a)
            return true;
    return false;
}

BudgetPlan BudgetPlan::read(Books &books)
{
    BudgetPlan plan;
    if (!hasPlanFile(books))
        return plan;
    Books::Batch b = books.batch();
    const DbfFile &f = b.table(PlanFile);
    const PlanLayout l = PlanLayout::of(f);
    for (std::uint32_t recno = 0; recno < f.recordCount(); ++recno) {
        const std::string rec = b.record(PlanFile, recno);
        if (DbfFile::isDeleted(rec.data()))
            continue;
        const auto key = keyOf(f, l, rec.data());
        // The first record of a month counts, as with the sums; a plan of no year belongs nowhere.
        if (key.first.isEmpty() || plan.records_.count(key))
            continue;
        PlanAmounts &a = plan.records_[key];
        for (std::size_t i = 0; i < a.size(); ++i) {
            const QVariant v = f.decode(rec.data(), l.amounts[i]);
            if (!v.isNull())
                a[i] = v.toDouble();
        }
    }
    return plan;
}

PlanReader::Stamp PlanReader::stampOf(const QString &path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true, std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_size),
            std::uint64_t(st.st_mtim.tv_sec) * 1'000'000'000u + std::uint64_t(st.st_mtim.tv_nsec)};
}

const BudgetPlan &PlanReader::read(Books &books)
{
    // A plan file made, renamed or removed changes the folder's times; one written in place, its own.
    const Stamp folder = stampOf(books.folder());
    if (plan_ && books_ == &books && commits_ == books.commits() && folder_ == folder &&
        (path_.isEmpty() || file_ == stampOf(path_)))
        return *plan_;
    plan_.reset();
    books_ = &books;
    commits_ = books.commits();
    folder_ = folder;
    path_ = SharedFile::resolve(books.folder(), PlanFile);
    file_ = stampOf(path_);
    plan_ = path_.isEmpty() ? BudgetPlan() : BudgetPlan::read(books);
    return *plan_;
}

PlanAmounts BudgetPlan::everyMonth(const QString &year) const
{
    const auto it = records_.find({year, QString()});
    return it == records_.end() ? PlanAmounts{} : it->second;
}

PlanAmounts BudgetPlan::ownMonth(const Period &period) const
{
    if (period.month.isEmpty())
        return {};
    const auto it = records_.find({period.year, period.month});
    return it == records_.end() ? PlanAmounts{} : it->second;
}

PlanAmounts BudgetPlan::forMonth(const Period &period) const
{
    PlanAmounts out = everyMonth(period.year);
    const PlanAmounts own = ownMonth(period);
    for (std::size_t i = 0; i < out.size(); ++i)
        if (own[i])
            out[i] = own[i];
    return out;
}

void savePlan(Books &books, const std::vector<PlanEntry> &entries)
{
    if (entries.empty())
        return;
    if (!hasPlanFile(books))
        createEmptyPlan(books.folder());
    Books::Batch b = books.batch();
    const DbfFile &f = b.table(PlanFile);
    const PlanLayout l = PlanLayout::of(f);
    std::map<std::pair<QString, QString>, std::uint32_t> existing;
    for (std::uint32_t recno = 0; recno < f.recordCount(); ++recno) {
        const std::string rec = b.record(PlanFile, recno);
        if (!DbfFile::isDeleted(rec.data()))
            existing.emplace(keyOf(f, l, rec.data()), recno);
    }
    for (const PlanEntry &e : entries) {
        if (e.year.trimmed().isEmpty())
            throw EngineError(QStringLiteral("Plan bez roku nie może zostać zapisany w pliku %1. Nic nie "
                                             "zostało zapisane.")
                                  .arg(f.displayName()));
        checkText(f, l.year, e.year, e);
        checkText(f, l.month, e.month, e);
        const auto at = existing.find({e.year, e.month});
        if (!hasAmounts(e.amounts)) {
            if (at != existing.end()) {
                std::string rec = b.record(PlanFile, at->second);
                rec[0] = '*';
                b.write(PlanFile, at->second, rec);
                existing.erase(at);
            }
            continue;
        }
        std::string rec = at != existing.end() ? b.record(PlanFile, at->second) : f.blankRecord();
        f.encode(rec.data(), l.year, e.year);
        f.encode(rec.data(), l.month, e.month.isEmpty() ? QVariant() : QVariant(e.month));
        for (std::size_t i = 0; i < e.amounts.size(); ++i)
            f.encode(rec.data(), l.amounts[i], e.amounts[i] ? QVariant(*e.amounts[i]) : QVariant());
        if (at != existing.end())
            b.write(PlanFile, at->second, rec);
        else
            existing.emplace(std::make_pair(e.year, e.month), b.append(PlanFile, rec));
    }
    b.commit();
}

} // namespace kw::ledger
