#pragma once

#include "ledger/Table.h"

#include <QString>

namespace kw::ledger {

// Who holds the current period (the month and year dialog). The filters ask it afresh for
// every record they judge.
class PeriodSource
{
public:
    virtual ~PeriodSource() = default;
    virtual QString monthText() const = 0;
    virtual QString yearText() const = 0;
};

// A period filter over two text fields (month, year) or one (year only). The month text and the
// year text are each compared with their own field for exact equality: joining them into one key
// would let month 1 of "2003" and month 12 of "003" select each other's records. A blank field
// belongs to no period.
class PeriodFilter
{
public:
    PeriodFilter(const PeriodSource &source, QString monthField, QString yearField);
    bool operator()(const RecordView &record) const;

private:
    struct Encoded
    {
        const DbfFile *file = nullptr;
        int field = -1;
        QString text;
        std::string bytes;
        bool valid = false;
    };
    bool matches(const RecordView &record, const QString &fieldName, const QString &text,
                 Encoded &cache) const;

    const PeriodSource &source_;
    QString monthField_;
    QString yearField_;
    mutable Encoded month_;
    mutable Encoded year_;
};

RecordFilter dayPeriodFilter(const PeriodSource &source);   // MIESIAC, ROK
RecordFilter monthPeriodFilter(const PeriodSource &source); // SMIESIAC, SROK
RecordFilter yearPeriodFilter(const PeriodSource &source);  // RROK
// Every month sum of the period's year, whatever its month: SROK.
RecordFilter monthSumsOfYearFilter(const PeriodSource &source);

} // namespace kw::ledger
