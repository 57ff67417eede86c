// One writer of the ledger, run alone in its own process so that a test can kill it at any system
// call: crash_driver DIR OPERATION. The directory holds period 3/2004 with days 5 and 7.
// Exit 0 when the operation finished, 3 when the engine refused it. The operation "recover" rolls
// back a journal left in the directory, as the next start would; "backup" makes a dated copy of the
// directory's data instead (exit 3 when it failed); "rewrite" writes the day table's first record
// back as it is, outside any change of the books.
#include "ledger/Backup.h"
#include "ledger/Books.h"
#include "ledger/DbfFile.h"
#include "ledger/Journal.h"
#include "ledger/LedgerSchema.h"

#include <QDir>
#include <QLocale>
#include <cstdio>
#include <cstring>
#include <exception>

using namespace kw::ledger;

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
            const kw::Journal::Recovery r = Books(dir).recoverJournal();
            if (!r.setAside())
                return 0;
            std::fprintf(stderr, "crash_driver: %s\n", r.message().toLocal8Bit().constData());
            return 4;
        }
        if (std::strcmp(op, "rewrite") == 0) {
            const auto f = kw::DbfFile::open(QDir(dir).filePath(DayFile));
            std::string record(std::size_t(f->recordLength()), ' ');
            f->readRecord(0, record.data());
            f->writeRecord(0, record.data());
            return 0;
        }
        Books books(dir);
        if (std::strcmp(op, "newperiod") == 0) {
            // A month of a year the ledger has not met: a month sum and a year sum to create.
            books.openPeriod(Period::of(1, 2005));
            return 0;
        }
        const Period march = Period::of(3, 2004);
        books.openPeriod(march);
        const std::vector<DayEntry> days = books.days(march);
        const DayRef day5 = days.at(0).ref;
        const Amounts amounts{100.25, 10, 0, 0, 42.5, 0, 0, 0, 7.75, 1};
        if (std::strcmp(op, "newday") == 0) {
            books.newDay(march, 9, QDate(2004, 3, 9));
        } else if (std::strcmp(op, "add") == 0) {
            books.add(day5, amounts, Sign::Add);
        } else if (std::strcmp(op, "subtract") == 0) {
            books.add(day5, amounts, Sign::Subtract);
        } else if (std::strcmp(op, "change") == 0) {
            books.change(day5, 6, amounts);
        } else if (std::strcmp(op, "delete") == 0) {
            books.deleteDay(day5);
        } else if (std::strcmp(op, "group") == 0) {
            // Several changes as one: a new day booked, then day 5 booked and moved to day 6.
            Books::Batch b = books.batch();
            b.add(b.newDay(march, 9, QDate(2004, 3, 9)), amounts, Sign::Add);
            b.add(day5, amounts, Sign::Subtract);
            b.change(day5, 6, amounts);
            b.commit();
        } else if (std::strcmp(op, "appends") == 0) {
            // New days in the period and in a new one (several records appended to each table in
            // one write), bookings on them, and day 5 booked, changed and moved.
            const Period january = Period::of(1, 2005);
            Books::Batch b = books.batch();
            for (int d = 10; d < 14; ++d)
                b.add(b.newDay(march, d, QDate(2004, 3, d)), amounts, Sign::Add);
            b.add(b.newDay(january, 2, QDate(2005, 1, 2)), amounts, Sign::Subtract);
            b.add(day5, amounts, Sign::Add);
            b.change(day5, 6, amounts);
            b.commit();
        } else if (std::strcmp(op, "batch") == 0) {
            // A thousand operations of every kind, two periods and two years, as one change.
            Books::Batch b = books.batch();
            const Period april = Period::of(4, 2004), january = Period::of(1, 2005);
            DayRef moving = days.at(1).ref; // day 7
            for (int k = 0; k < 1000; ++k) {
                Amounts a{};
                a[std::size_t(k % 10)] = 0.25 * (k % 13 + 1);
                switch (k % 8) {
                case 0:
                    b.add(b.dayFor(april, 1 + k % 28, QDate(2004, 4, 1 + k % 28)), a, Sign::Add);
                    break;
                case 1:
                    b.add(day5, a, Sign::Subtract);
                    break;
                case 2:
                    b.change(moving, 7 + k % 3, a);
                    moving.day = 7 + k % 3;
                    break;
                case 3:
                    b.setRemark(day5, QStringLiteral("Zakupy nr %1").arg(k));
                    break;
                case 4:
                    b.add(b.dayFor(january, 1 + k % 5, QDate(2005, 1, 1 + k % 5)), a, Sign::Add);
                    break;
                case 5:
                    if (k % 200 == 5)
                        b.deleteDay(b.newDay(march, 20, QDate(2004, 3, 20)));
                    break;
                default:
                    b.add(day5, a, Sign::Add);
                }
            }
            b.commit();
        } else {
            return 2;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "crash_driver: %s\n", e.what());
        return 3;
    }
    return 0;
}
