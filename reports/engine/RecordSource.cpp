#include "reports/engine/RecordSource.h"

#include "ledger/Table.h"

namespace kw::report {

void TableSource::setCurrencyFields(const QStringList &fields)
{
    currency_.clear();
    for (const QString &f : fields)
        currency_.insert(f.toUpper());
}

void TableSource::first()
{
    if (table_ && table_->active())
        table_->first();
}

void TableSource::next()
{
    if (table_ && table_->active())
        table_->next();
}

bool TableSource::eof() const
{
    return !table_ || !table_->active() || table_->isEmpty() || table_->eof();
}

int TableSource::recordCount() const
{
    if (!table_ || !table_->active())
        return 0;
    return table_->recordCount();
}

bool TableSource::hasField(const QString &field) const
{
    return table_ && table_->active() && table_->hasField(field);
}

QVariant TableSource::value(const QString &field) const
{
    if (!table_ || !table_->active() || table_->isEmpty() || !table_->hasField(field))
        return QVariant();
    try {
        return table_->fieldValue(field);
    } catch (const std::exception &) {
        return QVariant(); // a broken record prints as an unknown value, it does not stop the report
    }
}

bool TableSource::isCurrency(const QString &field) const
{
    if (currency_.contains(field.toUpper()))
        return true;
    if (!decimalsAreCurrency_ || !table_ || !table_->active())
        return false;
    const int i = table_->file().fieldIndex(field);
    if (i < 0)
        return false;
    const DbfField &f = table_->fieldDef(i);
    return (f.type == 'N' || f.type == 'F') && f.decimals > 0;
}

} // namespace kw::report
