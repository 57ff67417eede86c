#pragma once

// Ledgers for the analysis tests, booked through the books as the program books them.
#include "ledger/Books.h"
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
