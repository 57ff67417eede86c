// One writer of the ledger, run alone in its own process so that a test can kill it at any system
// call: crash_driver DIR OPERATION. The directory holds period 3/2004 with days 5 and 7.
// Exit 0 when the operation finished, 3 when the engine refused it. The operation "recover" rolls
// back a journal left in the directory, as the next start would; "backup" makes a dated copy of the
// directory's data instead (exit 3 when it failed); "rewrite" writes the day table's first record
// back as it is, outside any group.
#include "ledger/Backup.h"
#include "ledger/Booking.h"
#include "ledger/Books.h"
#include "ledger/DbfFile.h"
#include "ledger/Journal.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Period.h"

#include <QDir>
#include <QLocale>
#include <cstdio>
#include <cstring>
#include <exception>

using namespace kw::ledger;

namespace {
struct CurrentPeriod : PeriodSource
{
    QString month = QStringLiteral("3"), year = QStringLiteral("2004");
    QString monthText() const override { return month; }
    QString yearText() const override { return year; }
};
} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const char *op = argv[2];
    if (std::strcmp(op, "backup") == 0) {
        const kw::backup::Outcome o = kw::backup::backupNow(dir);
        if (o.kind != kw::backup::Outcome::Made)
            std::fprintf(stderr, "crash_driver: %s\n", o.message.toUtf8().constData());
        return o.kind == kw::backup::Outcome::Made ? 0 : 3;
    }
    try {
        if (std::strcmp(op, "recover") == 0) {
            const kw::Journal::Recovery r = kw::Journal::recover(dir);
            if (!r.setAside())
                return 0;
            std::fprintf(stderr, "crash_driver: %s\n", r.message().toLocal8Bit().constData());
            return 4;
        }
        if (std::strcmp(op, "batch") == 0) {
            // One batch: new days in the period and in a new one (several records appended to each
            // table in one write), bookings on them, and day 5 booked, changed and moved.
            Books books(dir);
            const kw::ledger::Period march{QStringLiteral("3"), QStringLiteral("2004")};
            const kw::ledger::Period january{QStringLiteral("1"), QStringLiteral("2005")};
            const Amounts amounts{100.25, 10, 0, 0, 42.5, 0, 0, 0, 7.75, 1};
            Books::Batch batch = books.batch();
            for (int d = 10; d < 14; ++d)
                batch.add(batch.newDay(march, d, QDate(2004, 3, d)), amounts, Sign::Add);
            batch.add(batch.newDay(january, 2, QDate(2005, 1, 2)), amounts, Sign::Subtract);
            const DayRef fifth = books.days(march).front().ref;
            batch.add(fifth, amounts, Sign::Add);
            batch.change(fifth, 6, amounts);
            batch.commit();
            return 0;
        }
        if (std::strcmp(op, "rewrite") == 0) {
            const auto f = kw::DbfFile::open(QDir(dir).filePath(DayFile));
            std::string record(std::size_t(f->recordLength()), ' ');
            f->readRecord(0, record.data());
            f->writeRecord(0, record.data());
            return 0;
        }
        kw::Table day, month, year;
        setUpDayTable(day);
        setUpMonthTable(month);
        setUpYearTable(year);
        CurrentPeriod period;
        for (kw::Table *t : {&day, &month, &year})
            t->setDirectory(dir);
        day.setOnFilterRecord(dayPeriodFilter(period));
        month.setOnFilterRecord(monthPeriodFilter(period));
        year.setOnFilterRecord(yearPeriodFilter(period));
        const LedgerTables t{&day, &month, &year};
        installRollupHooks(t);

        if (std::strcmp(op, "newperiod") == 0) {
            // A month of a year the ledger has not met: a month sum and a year sum to create.
            period.month = QStringLiteral("1");
            period.year = QStringLiteral("2005");
            openPeriod(t, period.month, period.year);
            return 0;
        }
        openPeriod(t, period.month, period.year); // stands on day 5
        const AmountSet amounts{100.25, 10, 0, 0, 42.5, 0, 0, 0, 7.75, 1};
        if (std::strcmp(op, "newday") == 0)
            addDay(t, 9, period.month, period.year, QDate(2004, 3, 9));
        else if (std::strcmp(op, "add") == 0)
            bookAmounts(t, amounts, Sign::Add);
        else if (std::strcmp(op, "subtract") == 0)
            bookAmounts(t, amounts, Sign::Subtract);
        else if (std::strcmp(op, "change") == 0)
            changeEntry(t, 6, amounts);
        else if (std::strcmp(op, "delete") == 0)
            deleteDay(t);
        else if (std::strcmp(op, "group") == 0) {
            // Several changes as one: a new day booked, then day 5 booked and moved to day 6.
            kw::AtomicGroup group(dir);
            addDay(t, 9, period.month, period.year, QDate(2004, 3, 9));
            bookAmounts(t, amounts, Sign::Add);
            t.day->first();
            bookAmounts(t, amounts, Sign::Subtract);
            changeEntry(t, 6, amounts);
            group.commit();
        } else
            return 2;
        closePeriod(t);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "crash_driver: %s\n", e.what());
        return 3;
    }
    return 0;
}
