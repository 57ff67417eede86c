#pragma once

// The ledger's tables as the report engine's record source: the engine knows records and fields,
// the statements know the tables they come from.

#include "ledger/Table.h"
#include "reports/engine/RecordSource.h"

#include <QPointer>
#include <QSet>
#include <QStringList>

namespace kw::report {

// A record source over a kw::Table: its filter and order decide what a walk visits. The table is
// neither opened nor closed here; a closed table reads as empty. No field is a currency field
// unless flagged.
class TableSource : public RecordSource
{
public:
    explicit TableSource(kw::Table *table = nullptr) : table_(table) {}
    void setTable(kw::Table *table) { table_ = table; }
    kw::Table *table() const { return table_; }

    // Flags fields as currency by name (any case).
    void setCurrencyFields(const QStringList &fields);
    // Flags every numeric field stored with decimals as currency: how the ledger's own tables
    // show their amounts.
    void setDecimalFieldsAreCurrency(bool on) { decimalsAreCurrency_ = on; }

    void first() override;
    void next() override;
    bool eof() const override;
    int recordCount() const override;
    bool hasField(const QString &field) const override;
    QVariant value(const QString &field) const override;
    bool isCurrency(const QString &field) const override;

private:
    QPointer<kw::Table> table_;
    QSet<QString> currency_;
    bool decimalsAreCurrency_ = false;
};

} // namespace kw::report
