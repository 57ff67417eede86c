#pragma once

// Where a report's records come from. The report's own dataset is walked once per layout, in its
// order, visiting only the records it accepts; further named datasets are never moved, their
// current record simply feeds the data fields that name them (the month and year sums of a footer).

#include <QString>
#include <QVariant>

namespace kw::report {

class RecordSource
{
public:
    virtual ~RecordSource() = default;

    // Walking: to the first accepted record, to the next one, and past the last.
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    // The number of records a walk visits, for progress; -1 when not known.
    virtual int recordCount() const { return -1; }

    virtual bool hasField(const QString &field) const = 0;
    // The field's value on the current record: a number (double or integer), a QDate, a text, or
    // null when blank. An unknown field or no current record gives an invalid QVariant.
    virtual QVariant value(const QString &field) const = 0;
    // A data field of a currency field prints in the regional currency format.
    virtual bool isCurrency(const QString &field) const
    {
        Q_UNUSED(field);
        return false;
    }
};

} // namespace kw::report
