#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kw {

class DbfFile;

// Which records of a table belong to which period, so that opening a period reads only its own
// records. A period is named by the stored bytes of one or more text fields (month and year, or the
// year alone); a record with any of them blank belongs to none and is not held. Deleted records are
// not held either.
//
// Days are entered period after period, so a period's records mostly lie side by side: the map
// holds runs of neighbouring record numbers (first, count), all in one array grouped by period in
// the order of the period keys. A ledger kept day by day then costs well under a byte a record; a
// file whose periods alternate record by record, or lie in random order, costs eight. A lookup is a binary search over the
// periods; a change that splits or joins runs moves a tail of that array, which happens only when
// the user writes.
class PeriodMap
{
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

    // Built by one pass over the records in file order, in time linear in the records whatever
    // their order. Days are entered period after period, so the pass notes runs of neighbouring
    // records with the same key bytes: a record costs one comparison of those bytes with the record
    // before it. A record that starts a run finds its period through a hash of those bytes, so a
    // file sorted or merged by another program, whose every record may start a run, costs one
    // lookup a record more; nothing is sorted but the periods themselves.
    class Builder
    {
    public:
        // The caller may want the records of one period while the pass goes on.
        Builder(const DbfFile &file, std::vector<int> fields, std::string wanted = {});
        // Files a record that is not deleted under its period; true when that is the wanted one.
        bool place(std::uint32_t recno, const char *record)
        {
            // The common case, kept inline: the key bytes are those of the record before.
            if (word_ && recno == next_ && haveLast_) {
                std::uint64_t word;
                std::memcpy(&word, record + spanBegin_, 8);
                if ((word & wordMask_) == lastWord_) {
                    ++next_;
                    return runPeriod_ == wantedPeriod_;
                }
            }
            return placeSlow(recno, record);
        }
        PeriodMap finish();

    private:
        // Periods are numbered in the order the pass meets them; runs of no period are not kept.
        static constexpr std::uint32_t NoPeriod = 0xFFFFFFFFu;
        static constexpr std::uint32_t MaxPeriods = 1u << 30;
        bool placeSlow(std::uint32_t recno, const char *record);
        std::uint32_t periodOfSpan(const char *span, std::uint64_t word);
        bool findWord(std::uint64_t word, std::uint32_t &period) const;
        void insertWord(std::uint64_t word, std::uint32_t period);
        std::uint32_t periodOfKey(const char *record);
        std::uint64_t canonicalWord(const char *span) const;
        std::uint32_t addPeriod(); // key_ as a period not met before
        void endRun();

        const DbfFile &file_;
        std::vector<int> fields_;
        std::string wanted_;
        std::uint32_t wantedPeriod_ = NoPeriod - 1; // matches no run until the wanted key is met
        int spanBegin_ = 0; // the bytes of the record that hold every key field
        int spanLength_ = 0;
        // When the key bytes fit in eight bytes of the record, compared and hashed as one word.
        bool word_ = false;
        std::uint64_t wordMask_ = 0;
        struct KeyField
        {
            int at; // from the span's first byte
            int length;
        };
        std::vector<KeyField> keyFields_;
        std::uint64_t lastWord_ = 0;
        std::string last_; // the key bytes of the record before, when they are not one word
        bool haveLast_ = false;

        // The run being read: its period, its first record, and the record after it.
        std::uint32_t runPeriod_ = NoPeriod;
        std::uint32_t runFirst_ = 0;
        std::uint32_t next_ = 0;
        std::uint32_t logged_ = 0; // the record after the last run logged

        // The runs in file order, a word or three each: the period with two flags (the run does
        // not follow the one before; it holds more than one record), then its first record and its
        // length when those flags say so. A file whose periods alternate costs one word a record.
        std::vector<std::uint32_t> log_;
        std::vector<std::string> keys_; // by period number
        std::string key_;
        // Key bytes to period number: one word as the key (an open-addressed table a power of two
        // long), or the bytes themselves.
        struct WordSlot
        {
            std::uint64_t word;
            std::uint32_t period; // NoPeriod: free
        };
        std::vector<WordSlot> wordSlots_;
        std::size_t wordsUsed_ = 0;
        std::unordered_map<std::string, std::uint32_t> spans_;
        // Spans longer than a word: different bytes may trim to one key.
        std::unordered_map<std::string, std::uint32_t> byKey_;
    };

private:
    struct Period
    {
        std::string key;
        std::uint32_t begin; // its first run
    };
    struct Span
    {
        std::uint32_t first;
        std::uint32_t count;
    };
    std::size_t find(std::string_view key) const; // index of the first period not below key
    std::uint32_t end(std::size_t period) const
    {
        return period + 1 < periods_.size() ? periods_[period + 1].begin : std::uint32_t(runs_.size());
    }
    void shiftAfter(std::size_t period, int by);

    std::vector<int> fields_;
    std::vector<Period> periods_; // ascending by key
    std::vector<Span> runs_;      // grouped by period, ascending and apart within a period
    std::size_t records_ = 0;
};

} // namespace kw
