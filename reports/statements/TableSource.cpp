#include "reports/statements/TableSource.h"

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
        const QVariant v = table_->fieldValue(field);
        if (v.isValid())
            return v;
        // A blank field is a null of its kind, not an unknown one: a blank amount prints empty and
        // counts 0 in a sum, where an unknown field would print the expression's own text.
        switch (table_->fieldDef(table_->file().fieldIndex(field)).kind) {
        case DbfKind::Number:
        case DbfKind::Double:
        case DbfKind::Integer:
            return QVariant(QMetaType(QMetaType::Double));
        case DbfKind::Date:
            return QVariant(QMetaType(QMetaType::QDate));
        default:
            return QVariant(QMetaType(QMetaType::QString));
        }
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
    return f.kind == DbfKind::Number && f.decimals > 0;
}

} // namespace kw::report
