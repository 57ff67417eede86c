#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kw {

class DbfFile;

// Which records of a table belong to which period, so that opening a period reads only its own
// records. A period is named by the stored bytes of one or more text fields (month and year, or the
// year alone); a record with any of them blank belongs to none and is not held. Deleted records are
// not held either.
//
// Each period holds its records as runs of neighbouring record numbers (first, count), ascending.
// Days are entered period after period, so a ledger kept day by day costs one run a period, and
// its period's entry (key, runs, index: under a hundred bytes) is most of the map; a file whose
// periods alternate record by record, or lie in random order, costs eight bytes a record more.
// Periods are found by a hash of their key, so building the map is one pass in file order whatever
// the order of the records, with no sort; a change moves runs of its own period only.
class PeriodMap
{
    struct Span
    {
        std::uint32_t first;
        std::uint32_t count;
    };
    struct Period
    {
        std::string key;
        std::vector<Span> runs; // ascending and apart
    };

public:
    explicit PeriodMap(std::vector<int> fields) : fields_(std::move(fields)) {}

    const std::vector<int> &fields() const { return fields_; }

    // The key of a record: each field's bytes without trailing blanks, each preceded by its length.
    // Empty when a field is blank, so the record belongs to no period. The buffer is reused.
    static void keyOf(const DbfFile &file, const char *record, const std::vector<int> &fields,
                      std::string &key);
    void keyOf(const DbfFile &file, const char *record, std::string &key) const
    {
        keyOf(file, record, fields_, key);
    }

    // The period's record numbers, ascending.
    std::vector<std::uint32_t> records(std::string_view key) const;

    void add(std::string_view key, std::uint32_t recno);
    void remove(std::string_view key, std::uint32_t recno);

    std::size_t periodCount() const { return periods_.size(); }
    std::size_t recordCount() const { return records_; }
    // What the map holds on the heap.
    std::size_t bytes() const;

    // Built by one pass over the records in file order, below.
    class Builder;

private:
    std::uint32_t find(std::string_view key) const; // the period's index, or periods_.size()
    std::uint32_t findOrAdd(std::string_view key);
    void index(std::uint32_t period);

    std::vector<int> fields_;
    std::vector<Period> periods_; // in the order they were met
    // Open addressing over periods_: each slot holds a period's index + 1, or 0 when free.
    std::vector<std::uint32_t> slots_;
    std::size_t records_ = 0;
};

// Built by one pass over the records in file order. A record whose key bytes are those of the
// record before costs one comparison of eight bytes; any other one a lookup of its period.
class PeriodMap::Builder
{
public:
    // The caller may want the records of one period while the pass goes on.
    Builder(const DbfFile &file, std::vector<int> fields, std::string wanted = {});
    // Files a record that is not deleted under its period; true when that is the wanted one.
    bool place(std::uint32_t recno, const char *record)
    {
        // The common case, kept inline: the key bytes are those of the record before.
        if (word_ && run_) {
            std::uint64_t word;
            std::memcpy(&word, record + spanBegin_, 8);
            if ((word & wordMask_) == lastWord_ && run_->first + run_->count == recno) {
                ++run_->count;
                return lastWanted_;
            }
        }
        return placeSlow(recno, record);
    }
    PeriodMap finish();

private:
    static constexpr std::uint32_t None = UINT32_MAX;
    bool placeSlow(std::uint32_t recno, const char *record);
    std::uint32_t periodOfWord(std::uint64_t word, const char *record);

    const DbfFile &file_;
    PeriodMap map_;
    std::string wanted_;
    std::uint32_t wantedPeriod_ = None;
    int spanBegin_ = 0; // the bytes of the record that hold every key field
    int spanLength_ = 0;
    // When the key bytes fit in eight bytes of the record, they are compared as one word, and
    // the words met so far lead straight to their period (None for a blank key).
    bool word_ = false;
    std::uint64_t wordMask_ = 0;
    struct WordSlot
    {
        std::uint64_t word;
        std::uint32_t period; // None for a blank key
        bool used;
    };
    std::vector<WordSlot> words_; // open addressing, a power of two long
    std::size_t wordCount_ = 0;
    // The record before: its key bytes, its period and its run.
    bool haveLast_ = false;
    std::uint64_t lastWord_ = 0;
    std::string last_;
    std::uint32_t lastPeriod_ = None;
    bool lastWanted_ = false;
    Span *run_ = nullptr; // the run the record before ended, null when it had no period
    std::string key_;
};

} // namespace kw
