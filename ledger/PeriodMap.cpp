#include "ledger/PeriodMap.h"
#include "ledger/DbfFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

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

namespace {
std::size_t hashOf(std::string_view key)
{
    return std::hash<std::string_view>{}(key);
}
// Open addressing steps by one slot under a mask, so every table is a power of two long.
std::size_t tableSize(std::size_t entries)
{
    return std::bit_ceil(std::max<std::size_t>(16, 4 * entries));
}
} // namespace

std::uint32_t PeriodMap::find(std::string_view key) const
{
    if (slots_.empty())
        return std::uint32_t(periods_.size());
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hashOf(key) & mask;; i = (i + 1) & mask) {
        const std::uint32_t slot = slots_[i];
        if (slot == 0)
            return std::uint32_t(periods_.size());
        if (periods_[slot - 1].key == key)
            return slot - 1;
    }
}

void PeriodMap::index(std::uint32_t period)
{
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hashOf(periods_[period].key) & mask;
    while (slots_[i] != 0)
        i = (i + 1) & mask;
    slots_[i] = period + 1;
}

std::uint32_t PeriodMap::findOrAdd(std::string_view key)
{
    const std::uint32_t found = find(key);
    if (found < periods_.size())
        return found;
    periods_.push_back(Period{std::string(key), {}});
    // Kept at most half full, so that a miss ends soon.
    if (2 * periods_.size() > slots_.size()) {
        slots_.assign(tableSize(periods_.size()), 0);
        for (std::uint32_t p = 0; p < periods_.size(); ++p)
            index(p);
    } else {
        index(std::uint32_t(periods_.size() - 1));
    }
    return std::uint32_t(periods_.size() - 1);
}

std::vector<std::uint32_t> PeriodMap::records(std::string_view key) const
{
    std::vector<std::uint32_t> out;
    const std::uint32_t p = find(key);
    if (p == periods_.size())
        return out;
    for (const Span &run : periods_[p].runs)
        for (std::uint32_t k = 0; k < run.count; ++k)
            out.push_back(run.first + k);
    return out;
}

void PeriodMap::add(std::string_view key, std::uint32_t recno)
{
    if (key.empty())
        return;
    std::vector<Span> &runs = periods_[findOrAdd(key)].runs;
    // The first run that starts after the record.
    const auto next = std::upper_bound(runs.begin(), runs.end(), recno,
                                       [](std::uint32_t r, const Span &s) { return r < s.first; });
    if (next != runs.begin()) {
        Span &before = *(next - 1);
        if (recno < before.first + before.count)
            return; // held already
        if (recno == before.first + before.count) {
            ++before.count;
            ++records_;
            if (next != runs.end() && next->first == recno + 1) { // the gap closed: one run
                before.count += next->count;
                runs.erase(next);
            }
            return;
        }
    }
    ++records_;
    if (next != runs.end() && next->first == recno + 1) {
        --next->first;
        ++next->count;
        return;
    }
    runs.insert(next, Span{recno, 1});
}

void PeriodMap::remove(std::string_view key, std::uint32_t recno)
{
    if (key.empty())
        return;
    const std::uint32_t p = find(key);
    if (p == periods_.size())
        return;
    // A period left without runs keeps its entry; it costs a few bytes and the next add finds it.
    std::vector<Span> &runs = periods_[p].runs;
    const auto at = std::upper_bound(runs.begin(), runs.end(), recno,
                                     [](std::uint32_t r, const Span &s) { return r < s.first; });
    if (at == runs.begin())
        return;
    const auto r = at - 1;
    if (recno >= r->first + r->count)
        return; // not held
    --records_;
    if (r->count == 1) {
        runs.erase(r);
    } else if (recno == r->first) {
        ++r->first;
        --r->count;
    } else if (recno == r->first + r->count - 1) {
        --r->count;
    } else {
        const Span tail{recno + 1, r->first + r->count - recno - 1};
        r->count = recno - r->first;
        runs.insert(r + 1, tail);
    }
}

std::size_t PeriodMap::bytes() const
{
    std::size_t n = periods_.capacity() * sizeof(Period) + slots_.capacity() * sizeof(std::uint32_t) +
                    fields_.capacity() * sizeof(int);
    for (const Period &p : periods_) {
        n += p.runs.capacity() * sizeof(Span);
        if (p.key.capacity() > 15)
            n += p.key.capacity() + 1;
    }
    return n;
}

PeriodMap::Builder::Builder(const DbfFile &file, std::vector<int> fields, std::string wanted)
    : file_(file), map_(std::move(fields)), wanted_(std::move(wanted))
{
    int begin = file.recordLength(), end = 0;
    for (const int f : map_.fields_) {
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
}

std::uint32_t PeriodMap::Builder::periodOfWord(std::uint64_t word, const char *record)
{
    // Far fewer words than records: one per period, and one per blank or odd spelling.
    const std::size_t mask = words_.size() - 1;
    std::size_t i = words_.empty() ? 0 : std::size_t((word * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    if (!words_.empty())
        for (; words_[i].used; i = (i + 1) & mask)
            if (words_[i].word == word)
                return words_[i].period;
    keyOf(file_, record, map_.fields_, key_);
    const std::uint32_t period = key_.empty() ? None : map_.findOrAdd(key_);
    // A file of countless periods (a year typed differently on every day) is not worth more memory.
    constexpr std::size_t MaxWords = 1 << 16;
    if (wordCount_ >= MaxWords)
        return period;
    if (2 * (wordCount_ + 1) > words_.size()) {
        std::vector<WordSlot> old(tableSize(wordCount_ + 1), WordSlot{0, 0, false});
        old.swap(words_);
        const std::size_t m = words_.size() - 1;
        for (const WordSlot &s : old)
            if (s.used) {
                std::size_t j = std::size_t((s.word * 0x9E3779B97F4A7C15ull) >> 20) & m;
                while (words_[j].used)
                    j = (j + 1) & m;
                words_[j] = s;
            }
        i = std::size_t((word * 0x9E3779B97F4A7C15ull) >> 20) & m;
        while (words_[i].used)
            i = (i + 1) & m;
    }
    words_[i] = WordSlot{word, period, true};
    ++wordCount_;
    return period;
}

bool PeriodMap::Builder::placeSlow(std::uint32_t recno, const char *record)
{
    const char *span = record + spanBegin_;
    std::uint64_t word = 0;
    if (word_) {
        std::memcpy(&word, span, 8);
        word &= wordMask_;
    }
    const bool same = haveLast_ && (word_ ? word == lastWord_
                                          : std::memcmp(span, last_.data(), std::size_t(spanLength_)) == 0);
    if (!same) {
        haveLast_ = true;
        lastWord_ = word;
        if (word_) {
            lastPeriod_ = periodOfWord(word, record);
        } else {
            last_.assign(span, std::size_t(spanLength_));
            keyOf(file_, record, map_.fields_, key_);
            lastPeriod_ = key_.empty() ? None : map_.findOrAdd(key_);
        }
        if (lastPeriod_ != None && wantedPeriod_ == None && map_.periods_[lastPeriod_].key == wanted_)
            wantedPeriod_ = lastPeriod_;
        lastWanted_ = lastPeriod_ != None && lastPeriod_ == wantedPeriod_;
    }
    if (lastPeriod_ == None) {
        run_ = nullptr;
        return false;
    }
    std::vector<Span> &runs = map_.periods_[lastPeriod_].runs;
    if (!runs.empty() && runs.back().first + runs.back().count == recno)
        ++runs.back().count;
    else // a new run; also after a deleted record, or a record of another period, came between
        runs.push_back(Span{recno, 1});
    run_ = &runs.back();
    return lastWanted_;
}

PeriodMap PeriodMap::Builder::finish()
{
    // Each period gives back what its runs grew beyond their number, one period at a time.
    for (Period &p : map_.periods_) {
        p.runs.shrink_to_fit();
        for (const Span &run : p.runs)
            map_.records_ += run.count;
    }
    words_ = {};
    run_ = nullptr;
    haveLast_ = false;
    return std::move(map_);
}

} // namespace kw
