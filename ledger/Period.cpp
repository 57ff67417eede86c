#include "ledger/Period.h"
#include "ledger/LedgerSchema.h"

namespace kw::ledger {

PeriodFilter::PeriodFilter(const PeriodSource &source, QString monthField, QString yearField)
    : source_(source), monthField_(std::move(monthField)), yearField_(std::move(yearField))
{}

bool PeriodFilter::matches(const RecordView &record, const QString &fieldName, const QString &text,
                           Encoded &cache) const
{
    // The field index and the period text in the table's code page are worked out once and
    // reused while neither the file nor the text changes: the filter runs for every record.
    if (cache.file != &record.file()) {
        cache.file = &record.file();
        cache.field = record.fieldIndex(fieldName);
        cache.valid = false;
    }
    if (cache.field < 0)
        return record.value(fieldName).isValid(); // throws the engine's message for a missing field
    if (!cache.valid || text != cache.text) {
        cache.text = text;
        cache.bytes = record.file().codePage().encode(text);
        cache.valid = true;
    }
    const std::string_view stored = record.raw(cache.field);
    return !stored.empty() && stored == cache.bytes;
}

bool PeriodFilter::operator()(const RecordView &record) const
{
    if (!monthField_.isEmpty() && !matches(record, monthField_, source_.monthText(), month_))
        return false;
    return matches(record, yearField_, source_.yearText(), year_);
}

RecordFilter dayPeriodFilter(const PeriodSource &source)
{
    return PeriodFilter(source, QString::fromLatin1(DayRecord.month), QString::fromLatin1(DayRecord.year));
}

RecordFilter monthPeriodFilter(const PeriodSource &source)
{
    return PeriodFilter(source, QString::fromLatin1(MonthRecord.month),
                        QString::fromLatin1(MonthRecord.year));
}

RecordFilter yearPeriodFilter(const PeriodSource &source)
{
    return PeriodFilter(source, QString(), QString::fromLatin1(YearRecord.year));
}

RecordFilter monthSumsOfYearFilter(const PeriodSource &source)
{
    return PeriodFilter(source, QString(), QString::fromLatin1(MonthRecord.year));
}

} // namespace kw::ledger
