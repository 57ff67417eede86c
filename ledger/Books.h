#pragma once

// The books of one data folder: the day entries (Wydatki.dbf), the month sums (Suma.dbf) and the
// year sums (Sum.DBF), and the one way to change them.
//
// How to use it:
//
//     kw::ledger::Books books(folder);                 // nothing is read until asked
//     const Period march{QStringLiteral("3"), QStringLiteral("2024")};
//     books.openPeriod(march);                         // creates its month and year sums if missing
//     DayRef day = books.newDay(march, 5, QDate::currentDate());
//     books.add(day, Amounts{100, 0, 0, 0, 12.5}, Sign::Add);
//     for (const DayEntry &e : books.days(march)) ...  // in day order, as the day list shows them
//
//   * Every operation is one atomic change: the day entry, its month sum and its year sum land
//     together or not at all, written in the order the roll-up rule gives (day, month, year;
//     for a deletion month, year, day).
//   * A day is named by a DayRef (its period, its day number and its record). An operation whose
//     day or sum record another program changed since this process last read it is refused with
//     an EngineError of kind ChangedOutside naming the file; nothing is written, and the open
//     tables show what the disk holds. So is an operation on a record whose amount is damaged.
//   * Many operations go into one change with a Batch: one journal write and one flush of each
//     file touched for the whole batch. Reads through the batch see what it has staged; nothing
//     reaches the disk before commit(); a batch dropped without commit() writes nothing.
//
//         Books::Batch b = books.batch();
//         DayRef d = b.dayFor(march, 7, today);          // the day, created when missing
//         b.add(d, amounts, Sign::Add);
//         b.append(QStringLiteral("Operacje.dbf"), record); // another table of the same folder
//         b.commit();
//
//   * After every commit the signal changed() names the periods and years touched.
//   * Queries read the sum tables where they can (totals() never scans the days); forEachDay()
//     streams every live day entry in (year, month, day) order without holding them all.
//   * Errors are thrown as EngineError with a Polish text fit for a message box.
//
// Books is a Qt Core object for one thread. The open tables of the windows share its stores, so
// whatever it writes they show at once.

#include "ledger/Backup.h"
#include "ledger/Journal.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Rollup.h"
#include "ledger/WorkLock.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace kw {
class SharedFile;
}

namespace kw::ledger {

// A month of a year by the texts the files carry: "3" and "2024" (the year as the user typed it).
struct Period
{
    QString month;
    QString year;

    static Period of(int month, int year) { return {QString::number(month), QString::number(year)}; }
    // 0 when the text is not a number.
    int monthNumber() const;
    int yearNumber() const;
    bool operator==(const Period &o) const { return month == o.month && year == o.year; }
    // In time: by year, then month; texts that read as the same numbers by the texts.
    bool operator<(const Period &o) const;
};

// A day entry by its period, its day number and its record in the day table.
struct DayRef
{
    Period period;
    int day = 0;
    std::uint32_t record = 0;
    bool operator==(const DayRef &o) const
    {
        return period == o.period && day == o.day && record == o.record;
    }
};

struct DayEntry
{
    DayRef ref;
    Amounts amounts{}; // a blank amount reads as 0
    QString remark;
    QDate created; // null when blank
};

// A month sum or a year sum: the ten totals and the derived fields as stored.
struct SumFigures
{
    Amounts amounts{};
    double income = 0;
    double expenses = 0;
    double budget = 0;
};

struct MonthSum
{
    Period period;
    SumFigures figures;
};

// What one commit changed.
struct BooksChange
{
    std::vector<Period> periods; // whose day entries or month sums changed, in time order
    QStringList years;           // whose year sums changed
};

class Books : public QObject
{
    Q_OBJECT
public:
    explicit Books(const QString &folder, QObject *parent = nullptr);
    ~Books() override;

    // The absolute path of the data folder.
    const QString &folder() const { return folder_; }
    // Grows with every commit that wrote something through these books.
    std::uint64_t commits() const { return commits_; }

    // --- start-up ---------------------------------------------------------------------------
    // One running copy per folder, held until the books are destroyed; false when another
    // process holds it.
    bool lockFolder();
    // Rolls back a change a crash left unfinished, or sets aside a journal that cannot be trusted;
    // says which, for the start-up to show.
    Journal::Recovery recoverJournal();
    // A dated copy of the tables now, whether or not they changed; never throws.
    backup::Outcome backUpNow(const QDateTime &now = QDateTime::currentDateTime());
    // Every month sum and year sum recounted from the day entries, and every number checked: one
    // line per problem, none when the books agree.
    QStringList verify() const;

    // --- queries ----------------------------------------------------------------------------
    // The period's day entries in day order (records with equal days in file order).
    std::vector<DayEntry> days(const Period &period) const;
    // The day entry as the disk holds it now; nothing when the record no longer holds that day.
    std::optional<DayEntry> day(const DayRef &ref) const;
    std::optional<SumFigures> monthSum(const Period &period) const;
    std::optional<SumFigures> yearSum(const QString &year) const;
    // The years that have a year sum, in time order.
    QStringList years() const;
    // The month sums of a year, by month.
    std::vector<MonthSum> monthSums(const QString &year) const;
    // The ten totals over the month sums of every period from `first` to `last`, both included.
    Amounts totals(const Period &first, const Period &last) const;
    // Every live day entry in (year, month, day) order, or those of one year or one month (empty
    // texts: all); fn returns false to stop. Entries of no period (a blank month or year) are left
    // out; years and months that are not numbers come after the others, by their texts.
    void forEachDay(const std::function<bool(const DayEntry &)> &fn, const QString &year = {},
                    const QString &month = {}) const;

    // --- operations, each one atomic change ----------------------------------------------------
    // Creates the period's month sum and year sum, every amount 0, when they are missing.
    void openPeriod(const Period &period);
    // A new day entry with every amount 0 (the day number is not checked against the others).
    DayRef newDay(const Period &period, int day, const QDate &created);
    // Adds the amounts to, or subtracts them from, the day and both its sums.
    void add(const DayRef &day, const Amounts &amounts, Sign sign);
    // Sets the remark; both sums are posted again with their derived fields.
    void setRemark(const DayRef &day, const QString &remark);
    // Replaces the day number and the amounts; both sums move by the difference. With `seen`, the
    // change is refused when the day on the disk is no longer what the user saw.
    void change(const DayRef &day, int dayNumber, const Amounts &amounts, const DayEntry *seen = nullptr);
    // Takes the day's amounts out of both sums, then deletes it.
    void deleteDay(const DayRef &day);

    class Batch;
    Batch batch();

signals:
    void changed(const kw::ledger::BooksChange &change);

private:
    friend class Batch;
    QString folder_;
    WorkLock lock_;
    // The record count of each file as these books last saw it: a smaller one later means another
    // program took records out (packed the table), whoever held the file meanwhile.
    std::map<QString, std::uint32_t> counts_;
    // The three tables stay open while the books are: a period switch closes every window's table,
    // and reopening the files then, once for the books and once for the windows, would be most of
    // its cost.
    std::vector<std::shared_ptr<SharedFile>> held_;
    // How many commits wrote something: what was read from the books before is stale after.
    std::uint64_t commits_ = 0;
};

// Many operations as one atomic change. See the comment at the top of this file.
class Books::Batch
{
public:
    Batch(Batch &&) noexcept;
    Batch &operator=(Batch &&) = delete;
    ~Batch();

    // The operations of Books, staged.
    void openPeriod(const Period &period);
    DayRef newDay(const Period &period, int day, const QDate &created);
    // The period's first day entry with this day number, or a new one.
    DayRef dayFor(const Period &period, int day, const QDate &created);
    void add(const DayRef &day, const Amounts &amounts, Sign sign);
    void setRemark(const DayRef &day, const QString &remark);
    void change(const DayRef &day, int dayNumber, const Amounts &amounts, const DayEntry *seen = nullptr);
    void deleteDay(const DayRef &day);

    // Reads that see what the batch has staged.
    std::vector<DayEntry> days(const Period &period);
    std::optional<DayEntry> day(const DayRef &ref);
    std::optional<SumFigures> monthSum(const Period &period);
    std::optional<SumFigures> yearSum(const QString &year);

    // Records of any table of the folder (found without regard to letter case), staged with the
    // rest: the layout to encode them with, a record as it stands, an append and a rewrite.
    const DbfFile &table(const QString &fileName);
    std::string record(const QString &fileName, std::uint32_t recno);
    std::uint32_t append(const QString &fileName, const std::string &record);
    // The three ledger tables too: a record written so is taken as it is (the cursors' pending
    // edits come this way), checked against the disk like every other.
    void write(const QString &fileName, std::uint32_t recno, const std::string &record);

    // Writes everything staged as one atomic change and tells the books' listeners. Throws
    // EngineError when it is refused or fails; nothing is then stored (the message says when that
    // is not certain). A batch commits once.
    void commit();
    bool empty() const;

private:
    friend class Books;
    struct State;
    explicit Batch(Books &books);
    std::unique_ptr<State> s_;
};

} // namespace kw::ledger

Q_DECLARE_METATYPE(kw::ledger::BooksChange)
