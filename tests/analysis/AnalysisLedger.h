#pragma once

// Ledgers for the analysis tests, booked through the books as the program books them.
#include "ledger/Books.h"
#include "ledger/BudgetPlan.h"
#include "ledger/LedgerSchema.h"

#include <QDate>
#include <QLocale>
#include <QTemporaryDir>

namespace kwtest {

using namespace kw::ledger;

// The categories by name, in the ledger's order.
enum Cat
{
    Przychod,
    Koszt,
    KosztOkr,
    Oplaty,
    Zywnosc,
    Uzywki,
    Odziez,
    Chemia,
    Samochod,
    Inne
};

inline Amounts amounts(std::initializer_list<std::pair<Cat, double>> items)
{
    Amounts a{};
    for (const auto &[c, v] : items)
        a[std::size_t(c)] += v;
    return a;
}

// A plan with amounts for the categories named; nothing planned for the others.
inline PlanAmounts planOf(std::initializer_list<std::pair<Cat, double>> items)
{
    PlanAmounts a{};
    for (const auto &[c, v] : items)
        a[std::size_t(c)] = v;
    return a;
}

struct AnalysisLedger
{
    QTemporaryDir tmp;
    std::unique_ptr<Books> books;

    AnalysisLedger()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        createEmptyTables(tmp.path());
        books = std::make_unique<Books>(tmp.path());
    }
    QString path() const { return tmp.path(); }

    // A household's year, day by day, as one change: two salaries and the costs of earning them,
    // bills heavier in winter, food every few days, clothes in spring and autumn, the car's
    // insurance in March, a refund now and then, presents in December. `scale` grows it year by year.
    void bookHouseholdYear(int year, double scale = 1.0)
    {
        Books::Batch b = books->batch();
        for (int m = 1; m <= 12; ++m) {
            const Period p = Period::of(m, year);
            b.openPeriod(p);
            const auto day = [&](int d) { return b.dayFor(p, d, QDate(year, m, d)); };
            const double winter = (m <= 3 || m >= 11) ? 1.35 : 1.0;
            b.add(day(1), amounts({{Przychod, 6850 * scale}, {Koszt, 310 * scale}}), Sign::Add);
            b.add(day(10),
                  amounts({{Przychod, 4920 * scale}, {Koszt, 180 * scale}, {KosztOkr, m % 3 == 0 ? 240 : 0}}),
                  Sign::Add);
            b.add(day(12), amounts({{Oplaty, (860 + 35 * (m % 4)) * winter * scale}}), Sign::Add);
            for (int d = 2; d <= 28; d += 3)
                b.add(day(d),
                      amounts({{Zywnosc, (150 + 17 * ((d * m) % 7)) * scale}, {Uzywki, d % 2 ? 18 : 0}}),
                      Sign::Add);
            b.add(day(15), amounts({{Chemia, (95 + 11 * (m % 5)) * scale}}), Sign::Add);
            b.add(day(18), amounts({{Samochod, (310 + 45 * (m % 3)) * scale + (m == 3 ? 1840 * scale : 0)}}),
                  Sign::Add);
            if (m == 4 || m == 5 || m == 9 || m == 10)
                b.add(day(20), amounts({{Odziez, (420 + 60 * (m % 2)) * scale}}), Sign::Add);
            if (m == 6)
                b.add(day(22), amounts({{Odziez, 180 * scale}}), Sign::Subtract); // a refund
            b.add(day(25),
                  amounts({{Inne, (140 + 90 * (m % 4)) * scale + (m == 12 ? 1450 * scale : 0) +
                                      (m == 7 ? 2600 * scale : 0)}}),
                  Sign::Add);
        }
        b.commit();
    }

    // Books the amounts on a day of the month (a new day entry each time; subtracted when `minus`).
    void book(int month, int year, int day, const Amounts &a, Sign sign = Sign::Add)
    {
        const Period p = Period::of(month, year);
        books->openPeriod(p);
        const DayRef d = books->newDay(p, day, QDate(year, month, 1));
        books->add(d, a, sign);
    }
};

} // namespace kwtest
