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
    return std::size_t(std::lower_bound(periods_.begin(), periods_.end(), key,
                                        [](const Period &p, std::string_view k) { return p.key < k; }) -
                       periods_.begin());
}

std::vector<std::uint32_t> PeriodMap::records(std::string_view key) const
{
    std::vector<std::uint32_t> out;
    const std::size_t p = find(key);
    if (p == periods_.size() || periods_[p].key != key)
        return out;
    for (std::uint32_t r = periods_[p].begin; r < end(p); ++r)
        for (std::uint32_t k = 0; k < runs_[r].count; ++k)
            out.push_back(runs_[r].first + k);
    return out;
}

void PeriodMap::shiftAfter(std::size_t period, int by)
{
    for (std::size_t q = period + 1; q < periods_.size(); ++q)
        periods_[q].begin = std::uint32_t(int(periods_[q].begin) + by);
}

void PeriodMap::add(std::string_view key, std::uint32_t recno)
{
    if (key.empty())
        return;
    const std::size_t p = find(key);
    if (p == periods_.size() || periods_[p].key != key) {
        const std::uint32_t at = p < periods_.size() ? periods_[p].begin : std::uint32_t(runs_.size());
        periods_.insert(periods_.begin() + std::ptrdiff_t(p), Period{std::string(key), at});
    }
    const std::size_t first = periods_[p].begin, last = end(p);
    // The first run that starts after the record.
    std::size_t next = first;
    while (next < last && runs_[next].first <= recno)
        ++next;
    if (next > first) {
        Span &before = runs_[next - 1];
        if (recno < before.first + before.count)
            return; // held already
        if (recno == before.first + before.count) {
            ++before.count;
            ++records_;
            if (next < last && runs_[next].first == recno + 1) { // the gap closed: one run
                before.count += runs_[next].count;
                runs_.erase(runs_.begin() + std::ptrdiff_t(next));
                shiftAfter(p, -1);
            }
            return;
        }
    }
    ++records_;
    if (next < last && runs_[next].first == recno + 1) {
        --runs_[next].first;
        ++runs_[next].count;
        return;
    }
    runs_.insert(runs_.begin() + std::ptrdiff_t(next), Span{recno, 1});
    shiftAfter(p, 1);
}

void PeriodMap::remove(std::string_view key, std::uint32_t recno)
{
    if (key.empty())
        return;
    const std::size_t p = find(key);
    if (p == periods_.size() || periods_[p].key != key)
        return;
    const std::size_t first = periods_[p].begin, last = end(p);
    std::size_t r = first;
    while (r < last && runs_[r].first + runs_[r].count <= recno)
        ++r;
    if (r == last || recno < runs_[r].first)
        return; // not held
    --records_;
    Span &run = runs_[r];
    if (run.count == 1) {
        runs_.erase(runs_.begin() + std::ptrdiff_t(r));
        shiftAfter(p, -1);
        // A period left without runs keeps its entry; it costs a few bytes and the next add finds it.
    } else if (recno == run.first) {
        ++run.first;
        --run.count;
    } else if (recno == run.first + run.count - 1) {
        --run.count;
    } else {
        const Span tail{recno + 1, run.first + run.count - recno - 1};
        run.count = recno - run.first;
        runs_.insert(runs_.begin() + std::ptrdiff_t(r + 1), tail);
        shiftAfter(p, 1);
    }
}

std::size_t PeriodMap::bytes() const
{
    std::size_t n = runs_.capacity() * sizeof(Span) + periods_.capacity() * sizeof(Period) +
                    fields_.capacity() * sizeof(int);
    for (const Period &p : periods_)
        if (p.key.capacity() > 15)
            n += p.key.capacity() + 1;
    return n;
}

namespace {
// Words of key bytes are ASCII digits and blanks in practice; a multiply-shift spreads them well.
std::size_t slotOf(std::uint64_t word, std::size_t mask)
{
    return std::size_t((word * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

constexpr std::uint32_t Apart = 1u << 31; // the run does not begin where the one before ended
constexpr std::uint32_t Long = 1u << 30;  // the run holds more than one record
constexpr std::uint32_t PeriodBits = Long - 1;
} // namespace

PeriodMap::Builder::Builder(const DbfFile &file, std::vector<int> fields, std::string wanted)
    : file_(file), fields_(std::move(fields)), wanted_(std::move(wanted))
{
    int begin = file.recordLength(), end = 0;
    for (const int f : fields_) {
        const DbfField &d = file.fields()[std::size_t(f)];
        begin = std::min(begin, d.offset);
        end = std::max(end, d.offset + d.length);
    }
    spanBegin_ = begin;
    spanLength_ = std::max(0, end - begin);
    word_ = spanLength_ <= 8 && spanBegin_ + 8 <= file.recordLength();
    // Little or big endian alike: the mask keeps the bytes of the span, wherever they land.
    char ones[8] = {};
    std::memset(ones, 0xff, std::size_t(std::min(spanLength_, 8)));
    std::memcpy(&wordMask_, ones, 8);
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
    if (keys_.size() >= MaxPeriods)
        throw std::length_error("period map: too many periods");
    const auto p = std::uint32_t(keys_.size());
    if (key_ == wanted_)
        wantedPeriod_ = p;
    keys_.push_back(key_);
    return p;
}

std::uint32_t PeriodMap::Builder::periodOfKey(const char *record)
{
    keyOf(file_, record, fields_, key_);
    if (key_.empty())
        return NoPeriod;
    const auto [it, added] = byKey_.try_emplace(key_, std::uint32_t(keys_.size()));
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
    const std::uint32_t count = next_ - runFirst_;
    std::uint32_t head = runPeriod_;
    if (runFirst_ != logged_)
        head |= Apart;
    if (count > 1)
        head |= Long;
    log_.push_back(head);
    if (head & Apart)
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
    const std::uint32_t periods = std::uint32_t(keys_.size());
    std::vector<std::uint32_t> order(periods);
    for (std::uint32_t p = 0; p < periods; ++p)
        order[p] = p;
    std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) { return keys_[a] < keys_[b]; });

    const auto walk = [this](auto &&fn) {
        std::uint32_t at = 0;
        for (std::size_t i = 0; i < log_.size();) {
            const std::uint32_t head = log_[i++];
            const std::uint32_t first = (head & Apart) ? log_[i++] : at;
            const std::uint32_t count = (head & Long) ? log_[i++] : 1;
            fn(head & PeriodBits, first, count);
            at = first + count;
        }
    };
    std::vector<std::uint32_t> slot(periods + 1, 0); // runs per period, then where each goes next
    walk([&](std::uint32_t p, std::uint32_t, std::uint32_t) { ++slot[p]; });
    PeriodMap map(std::move(fields_));
    map.periods_.reserve(periods);
    std::uint32_t total = 0;
    for (const std::uint32_t p : order) {
        const std::uint32_t n = slot[p];
        slot[p] = total;
        map.periods_.push_back(Period{std::move(keys_[p]), total});
        total += n;
    }
    map.runs_.resize(total);
    std::vector<std::uint32_t> filled(slot.begin(), slot.end() - 1); // where each period begins
    walk([&](std::uint32_t p, std::uint32_t first, std::uint32_t count) {
        map.records_ += count;
        // Runs of one period that touch, split only by bytes that trim to the same key, join.
        if (slot[p] > filled[p]) {
            Span &last = map.runs_[slot[p] - 1];
            if (last.first + last.count == first) {
                last.count += count;
                return;
            }
        }
        map.runs_[slot[p]++] = Span{first, count};
    });
    // Joined runs left holes at the ends of their periods' places; close them up.
    std::uint32_t to = 0;
    for (std::size_t i = 0; i < map.periods_.size(); ++i) {
        const std::uint32_t p = order[i];
        const std::uint32_t from = filled[p], end = slot[p];
        map.periods_[i].begin = to;
        for (std::uint32_t r = from; r < end; ++r)
            map.runs_[to++] = map.runs_[r];
    }
    map.runs_.resize(to);
    map.runs_.shrink_to_fit();
    log_ = {};
    keys_ = {};
    return map;
}

} // namespace kw
