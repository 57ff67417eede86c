#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
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
// holds runs of neighbouring record numbers, all in one array of 32-bit words grouped by period in
// the order of the period keys. A lone record is one word, its number; a longer run is its first
// number marked in the top bit, then its length. A ledger kept day by day then costs well under a
// byte a record; a file whose periods alternate record by record, or lie in random order, costs
// four, runs of two records the same, and each period its key and twelve bytes. A lookup is a
// binary search over the periods; a change that splits or joins runs moves a tail of that array,
// which happens only when the user writes.
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

    // Record numbers from this one on cannot be held: the top bit of a word marks a run.
    static constexpr std::uint32_t MaxRecords = 1u << 31;
    static bool canHold(std::uint32_t recordCount) { return recordCount <= MaxRecords; }

    // The period's record numbers, ascending.
    std::vector<std::uint32_t> records(std::string_view key) const;

    // Throws std::length_error for a record number from MaxRecords on.
    void add(std::string_view key, std::uint32_t recno);
    void remove(std::string_view key, std::uint32_t recno);

    std::size_t periodCount() const { return periods_.size(); }
    std::size_t recordCount() const { return records_; }
    // What the map holds on the heap.
    std::size_t bytes() const;

    // Tells the records of one period by their key bytes alone, for a read that wants that period
    // and builds no map: where the key fields fit in eight bytes of the record, a record costs a
    // load, a mask and a comparison; a field padded with NULs is read the slow way.
    class Matcher
    {
    public:
        Matcher(const DbfFile &file, std::vector<int> fields, std::string key);
        bool operator()(const char *record)
        {
            if (word_) {
                std::uint64_t word;
                std::memcpy(&word, record + spanBegin_, 8);
                word &= wordMask_;
                if (word == wantedWord_)
                    return true;
                // With no NUL among them and nothing between the fields, the bytes are the key's own.
                constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
                const std::uint64_t padded = word | ~wordMask_;
                if (gapless_ && ((padded - ones) & ~padded & highs) == 0)
                    return false;
            }
            keyOf(file_, record, fields_, scratch_);
            return scratch_ == key_;
        }

    private:
        const DbfFile &file_;
        std::vector<int> fields_;
        std::string key_;
        std::string scratch_;
        bool word_ = false;
        bool gapless_ = false;
        int spanBegin_ = 0;
        std::uint64_t wordMask_ = 0;
        std::uint64_t wantedWord_ = 0;
    };

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
        // The keys by period number, end to end: period p's ends at keyEnds_[p].
        std::string keys_;
        std::vector<std::uint32_t> keyEnds_;
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
        std::uint32_t keyAt; // in keys_
        std::uint32_t keyLength;
        std::uint32_t begin; // its first word
    };
    struct Span
    {
        std::uint32_t first;
        std::uint32_t count;
    };
    static constexpr std::uint32_t Long = 1u << 31; // the word starts a run of more than one record
    std::string_view keyAt(const Period &p) const { return {keys_.data() + p.keyAt, p.keyLength}; }
    std::size_t find(std::string_view key) const; // index of the first period not below key
    std::size_t end(std::size_t period) const
    {
        return period + 1 < periods_.size() ? periods_[period + 1].begin : words_.size();
    }
    // The run whose first word is at `at`; returns how many words it takes.
    std::size_t runAt(std::size_t at, Span &run) const
    {
        if (words_[at] & Long) {
            run = Span{words_[at] & ~Long, words_[at + 1]};
            return 2;
        }
        run = Span{words_[at], 1};
        return 1;
    }
    // Puts these runs of the period in place of the `width` words at `at`.
    void splice(std::size_t period, std::size_t at, std::size_t width, std::initializer_list<Span> runs);

    std::vector<int> fields_;
    std::vector<Period> periods_;      // ascending by key
    std::string keys_;                 // the periods' keys end to end, in no order
    std::vector<std::uint32_t> words_; // the runs, grouped by period, ascending and apart within a period
    std::size_t records_ = 0;
};

} // namespace kw
