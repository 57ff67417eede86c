#include "ledger/PeriodMap.h"
#include "ledger/DbfFile.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kw {

void PeriodMap::keyOf(const DbfFile &file, const char *record, const std::vector<int> &fields,
                      std::string &key)
{
    key.clear();
    for (const int f : fields) {
        const std::string_view text = file.rawText(record, f);
        if (text.empty()) {
            key.clear();
            return;
        }
        // Fields are at most 255 bytes long, so one byte holds the length and no two keys of
        // different splits can run together.
        key.push_back(char(std::uint8_t(text.size())));
        key.append(text);
    }
}

std::size_t PeriodMap::find(std::string_view key) const
{
    return std::size_t(
        std::lower_bound(periods_.begin(), periods_.end(), key,
                         [this](const Period &p, std::string_view k) { return keyAt(p) < k; }) -
        periods_.begin());
}

std::vector<std::uint32_t> PeriodMap::records(std::string_view key) const
{
    std::vector<std::uint32_t> out;
    const std::size_t p = find(key);
    if (p == periods_.size() || keyAt(periods_[p]) != key)
        return out;
    Span run;
    for (std::size_t at = periods_[p].begin, last = end(p); at < last;) {
        at += runAt(at, run);
        for (std::uint32_t k = 0; k < run.count; ++k)
            out.push_back(run.first + k);
    }
    return out;
}

void PeriodMap::splice(std::size_t period, std::size_t at, std::size_t width,
                       std::initializer_list<Span> runs)
{
    std::uint32_t encoded[4];
    std::size_t n = 0;
    for (const Span &r : runs) {
        if (r.count == 0)
            continue;
        if (r.count == 1) {
            encoded[n++] = r.first;
        } else {
            encoded[n++] = r.first | Long;
            encoded[n++] = r.count;
        }
    }
    const auto at_ = words_.begin() + std::ptrdiff_t(at);
    if (n > width)
        words_.insert(at_ + std::ptrdiff_t(width), n - width, 0);
    else if (n < width)
        words_.erase(at_ + std::ptrdiff_t(n), at_ + std::ptrdiff_t(width));
    std::copy(encoded, encoded + n, words_.begin() + std::ptrdiff_t(at));
    if (n != width)
        for (std::size_t q = period + 1; q < periods_.size(); ++q)
            periods_[q].begin =
                std::uint32_t(std::int64_t(periods_[q].begin) + std::int64_t(n) - std::int64_t(width));
}

void PeriodMap::add(std::string_view key, std::uint32_t recno)
{
    if (key.empty())
        return;
    if (recno >= MaxRecords)
        throw std::length_error("period map: record number out of reach");
    const std::size_t p = find(key);
    if (p == periods_.size() || keyAt(periods_[p]) != key) {
        const std::uint32_t at = p < periods_.size() ? periods_[p].begin : std::uint32_t(words_.size());
        periods_.insert(periods_.begin() + std::ptrdiff_t(p),
                        Period{std::uint32_t(keys_.size()), std::uint32_t(key.size()), at});
        keys_.append(key);
    }
    const std::size_t last = end(p);
    // The last run that starts at or before the record, and the one after it.
    std::size_t at = periods_[p].begin, beforeAt = last, beforeWidth = 0;
    Span before{0, 0}, after{0, 0};
    while (at < last) {
        Span run;
        const std::size_t width = runAt(at, run);
        if (run.first > recno)
            break;
        before = run;
        beforeAt = at;
        beforeWidth = width;
        at += width;
    }
    if (beforeAt != last && recno < before.first + before.count)
        return; // held already
    const std::size_t afterWidth = at < last ? runAt(at, after) : 0;
    const bool joinsBefore = beforeAt != last && before.first + before.count == recno;
    const bool joinsAfter = afterWidth > 0 && after.first == recno + 1;
    ++records_;
    if (joinsBefore && joinsAfter) // the gap closed: one run
        splice(p, beforeAt, beforeWidth + afterWidth, {Span{before.first, before.count + 1 + after.count}});
    else if (joinsBefore)
        splice(p, beforeAt, beforeWidth, {Span{before.first, before.count + 1}});
    else if (joinsAfter)
        splice(p, at, afterWidth, {Span{recno, after.count + 1}});
    else
        splice(p, at, 0, {Span{recno, 1}});
}

void PeriodMap::remove(std::string_view key, std::uint32_t recno)
{
    if (key.empty())
        return;
    const std::size_t p = find(key);
    if (p == periods_.size() || keyAt(periods_[p]) != key)
        return;
    const std::size_t last = end(p);
    for (std::size_t at = periods_[p].begin; at < last;) {
        Span run;
        const std::size_t width = runAt(at, run);
        if (recno < run.first)
            return; // not held
        if (recno < run.first + run.count) {
            --records_;
            // A period left without runs keeps its entry; it costs a few bytes and the next add finds it.
            splice(p, at, width,
                   {Span{run.first, recno - run.first}, Span{recno + 1, run.first + run.count - recno - 1}});
            return;
        }
        at += width;
    }
}

std::size_t PeriodMap::bytes() const
{
    std::size_t n = words_.capacity() * sizeof(std::uint32_t) + periods_.capacity() * sizeof(Period) +
                    fields_.capacity() * sizeof(int);
    if (keys_.capacity() > 15)
        n += keys_.capacity() + 1;
    return n;
}

namespace {
// Where a record holds its key fields: the bytes from the first field's start to the last one's end,
// and whether they can be read as one 8-byte word.
struct KeySpan
{
    int begin = 0;
    int length = 0;
    int covered = 0; // the fields' own bytes; less than length where bytes lie between them
    bool word = false;
    std::uint64_t mask = 0; // keeps the span's bytes of such a word, little or big endian alike
};

KeySpan keySpanOf(const DbfFile &file, const std::vector<int> &fields)
{
    KeySpan s;
    int begin = file.recordLength(), end = 0;
    for (const int f : fields) {
        const DbfField &d = file.fields()[std::size_t(f)];
        begin = std::min(begin, d.offset);
        end = std::max(end, d.offset + d.length);
        s.covered += d.length;
    }
    s.begin = begin;
    s.length = std::max(0, end - begin);
    s.word = s.length <= 8 && s.begin + 8 <= file.recordLength();
    char ones[8] = {};
    std::memset(ones, 0xff, std::size_t(std::min(s.length, 8)));
    std::memcpy(&s.mask, ones, 8);
    return s;
}

// Words of key bytes are ASCII digits and blanks in practice; a multiply-shift spreads them well.
std::size_t slotOf(std::uint64_t word, std::size_t mask)
{
    return std::size_t((word * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

// The builder's log of runs: the period in the low bits of a run's first word.
constexpr std::uint32_t LogApart = 1u << 31; // the run does not begin where the one before ended
constexpr std::uint32_t LogLong = 1u << 30;  // the run holds more than one record
constexpr std::uint32_t LogPeriodBits = LogLong - 1;
} // namespace

PeriodMap::Builder::Builder(const DbfFile &file, std::vector<int> fields, std::string wanted)
    : file_(file), fields_(std::move(fields)), wanted_(std::move(wanted))
{
    const KeySpan span = keySpanOf(file, fields_);
    spanBegin_ = span.begin;
    spanLength_ = span.length;
    word_ = span.word;
    wordMask_ = span.mask;
    if (word_) {
        wordSlots_.assign(64, WordSlot{0, NoPeriod});
        for (const int f : fields_) {
            const DbfField &d = file.fields()[std::size_t(f)];
            keyFields_.push_back(KeyField{d.offset - spanBegin_, d.length});
        }
    }
}

// The span's bytes as its key reads them: each field's trailing blanks and NULs made blanks, the
// bytes between fields nothing. Two records share a key exactly when they share this word, so
// the periods are told apart by words alone, with no comparison of keys.
std::uint64_t PeriodMap::Builder::canonicalWord(const char *span) const
{
    char bytes[8] = {};
    for (const KeyField &f : keyFields_) {
        int end = f.length;
        while (end > 0 && (span[f.at + end - 1] == ' ' || span[f.at + end - 1] == '\0'))
            --end;
        std::memcpy(bytes + f.at, span + f.at, std::size_t(end));
        std::memset(bytes + f.at + end, ' ', std::size_t(f.length - end));
    }
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    return word;
}

std::uint32_t PeriodMap::Builder::addPeriod()
{
    // A file this large would be hundreds of gigabytes; refusing beats a wrong map.
    if (keyEnds_.size() >= MaxPeriods || keys_.size() + key_.size() > 0xFFFFFFFFu)
        throw std::length_error("period map: too many periods");
    const auto p = std::uint32_t(keyEnds_.size());
    if (key_ == wanted_)
        wantedPeriod_ = p;
    keys_.append(key_);
    keyEnds_.push_back(std::uint32_t(keys_.size()));
    return p;
}

std::uint32_t PeriodMap::Builder::periodOfKey(const char *record)
{
    keyOf(file_, record, fields_, key_);
    if (key_.empty())
        return NoPeriod;
    const auto [it, added] = byKey_.try_emplace(key_, std::uint32_t(keyEnds_.size()));
    if (added)
        addPeriod();
    return it->second;
}

std::uint32_t PeriodMap::Builder::periodOfSpan(const char *span, std::uint64_t word)
{
    if (!word_) {
        const auto found = spans_.find(std::string(span, std::size_t(spanLength_)));
        if (found != spans_.end())
            return found->second;
        const std::uint32_t p = periodOfKey(span - spanBegin_);
        spans_.emplace(std::string(span, std::size_t(spanLength_)), p);
        return p;
    }
    std::uint32_t p = NoPeriod;
    if (findWord(word, p))
        return p;
    // Bytes not met before: a new period unless they read as a key already met (a field padded
    // with NULs, say, where the others were padded with blanks).
    const std::uint64_t canonical = canonicalWord(span);
    if (canonical == word || !findWord(canonical, p)) {
        keyOf(file_, span - spanBegin_, fields_, key_);
        p = key_.empty() ? NoPeriod : addPeriod();
        if (canonical != word)
            insertWord(canonical, p);
    }
    insertWord(word, p);
    return p;
}

// A slot is free while its period is NoPeriod; a word of no period is kept under NoBytes.
namespace {
constexpr std::uint32_t NoBytes = 0xFFFFFFFEu;
}

bool PeriodMap::Builder::findWord(std::uint64_t word, std::uint32_t &period) const
{
    const std::size_t mask = wordSlots_.size() - 1;
    for (std::size_t s = slotOf(word, mask); wordSlots_[s].period != NoPeriod; s = (s + 1) & mask)
        if (wordSlots_[s].word == word) {
            period = wordSlots_[s].period == NoBytes ? NoPeriod : wordSlots_[s].period;
            return true;
        }
    return false;
}

void PeriodMap::Builder::insertWord(std::uint64_t word, std::uint32_t period)
{
    if (2 * (wordsUsed_ + 1) > wordSlots_.size()) {
        std::vector<WordSlot> old(wordSlots_.size() * 2, WordSlot{0, NoPeriod});
        old.swap(wordSlots_);
        const std::size_t mask = wordSlots_.size() - 1;
        for (const WordSlot &w : old)
            if (w.period != NoPeriod) {
                std::size_t t = slotOf(w.word, mask);
                while (wordSlots_[t].period != NoPeriod)
                    t = (t + 1) & mask;
                wordSlots_[t] = w;
            }
    }
    const std::size_t mask = wordSlots_.size() - 1;
    std::size_t s = slotOf(word, mask);
    while (wordSlots_[s].period != NoPeriod)
        s = (s + 1) & mask;
    wordSlots_[s] = WordSlot{word, period == NoPeriod ? NoBytes : period};
    ++wordsUsed_;
}

void PeriodMap::Builder::endRun()
{
    if (runPeriod_ == NoPeriod || next_ == runFirst_)
        return;
    if (next_ > MaxRecords)
        throw std::length_error("period map: record number out of reach");
    const std::uint32_t count = next_ - runFirst_;
    std::uint32_t head = runPeriod_;
    if (runFirst_ != logged_)
        head |= LogApart;
    if (count > 1)
        head |= LogLong;
    log_.push_back(head);
    if (head & LogApart)
        log_.push_back(runFirst_);
    if (count > 1)
        log_.push_back(count);
    logged_ = next_;
}

bool PeriodMap::Builder::placeSlow(std::uint32_t recno, const char *record)
{
    const char *span = record + spanBegin_;
    std::uint64_t word = 0;
    if (word_) {
        std::memcpy(&word, span, 8);
        word &= wordMask_;
    }
    const bool sameBytes =
        haveLast_ && (word_ ? word == lastWord_ : std::memcmp(span, last_.data(), std::size_t(spanLength_)) == 0);
    if (sameBytes && recno == next_) {
        ++next_;
        return runPeriod_ == wantedPeriod_;
    }
    const std::uint32_t period = sameBytes ? runPeriod_ : periodOfSpan(span, word);
    if (period != runPeriod_ || recno != next_) {
        endRun();
        runPeriod_ = period;
        runFirst_ = recno;
    }
    next_ = recno + 1;
    if (!sameBytes) {
        if (word_)
            lastWord_ = word;
        else
            last_.assign(span, std::size_t(spanLength_));
        haveLast_ = true;
    }
    return period == wantedPeriod_;
}

PeriodMap PeriodMap::Builder::finish()
{
    endRun();
    runPeriod_ = NoPeriod;
    // Only the periods are sorted; the runs are dealt out to them in two passes over the log.
    const std::uint32_t periods = std::uint32_t(keyEnds_.size());
    const auto keyOfPeriod = [this](std::uint32_t p) {
        const std::uint32_t begin = p == 0 ? 0 : keyEnds_[p - 1];
        return std::string_view(keys_.data() + begin, keyEnds_[p] - begin);
    };
    std::vector<std::uint32_t> order(periods);
    for (std::uint32_t p = 0; p < periods; ++p)
        order[p] = p;
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return keyOfPeriod(a) < keyOfPeriod(b); });

    const auto walk = [this](auto &&fn) {
        std::uint32_t at = 0;
        for (std::size_t i = 0; i < log_.size();) {
            const std::uint32_t head = log_[i++];
            const std::uint32_t first = (head & LogApart) ? log_[i++] : at;
            const std::uint32_t count = (head & LogLong) ? log_[i++] : 1;
            fn(head & LogPeriodBits, first, count);
            at = first + count;
        }
    };
    // Words per period, then where each period's next run goes.
    std::vector<std::uint32_t> slot(periods, 0);
    walk([&](std::uint32_t p, std::uint32_t, std::uint32_t count) { slot[p] += count > 1 ? 2 : 1; });
    PeriodMap map(std::move(fields_));
    map.periods_.reserve(periods);
    std::uint32_t total = 0;
    for (const std::uint32_t p : order) {
        const std::uint32_t n = slot[p];
        slot[p] = total;
        const std::string_view key = keyOfPeriod(p);
        map.periods_.push_back(
            Period{std::uint32_t(key.data() - keys_.data()), std::uint32_t(key.size()), total});
        total += n;
    }
    map.words_.resize(total);
    // Runs of one period never touch in the log: a run ends only where the period changes or a
    // record is skipped, so each goes in as it is.
    walk([&](std::uint32_t p, std::uint32_t first, std::uint32_t count) {
        map.records_ += count;
        if (count == 1) {
            map.words_[slot[p]++] = first;
        } else {
            map.words_[slot[p]++] = first | Long;
            map.words_[slot[p]++] = count;
        }
    });
    keys_.shrink_to_fit();
    map.keys_ = std::move(keys_);
    log_ = {};
    keyEnds_ = {};
    return map;
}

PeriodMap::Matcher::Matcher(const DbfFile &file, std::vector<int> fields, std::string key)
    : file_(file), fields_(std::move(fields)), key_(std::move(key))
{
    const KeySpan span = keySpanOf(file, fields_);
    spanBegin_ = span.begin;
    word_ = !fields_.empty() && span.word;
    if (!word_)
        return;
    gapless_ = span.covered == span.length; // distinct fields never overlap
    wordMask_ = span.mask;
    char wanted[8] = {};
    // The key's texts as a record holds them: each padded with blanks to its field's length.
    std::size_t at = 0;
    for (const int f : fields_) {
        const DbfField &d = file.fields()[std::size_t(f)];
        const std::size_t n = at < key_.size() ? std::uint8_t(key_[at]) : 0;
        if (n == 0 || n > std::size_t(d.length) || at + 1 + n > key_.size()) {
            word_ = false; // no record holds such a key; the slow way says so
            return;
        }
        std::memset(wanted + (d.offset - spanBegin_), ' ', std::size_t(d.length));
        std::memcpy(wanted + (d.offset - spanBegin_), key_.data() + at + 1, n);
        at += 1 + n;
    }
    std::memcpy(&wantedWord_, wanted, 8);
}

} // namespace kw
