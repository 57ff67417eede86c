#include "ledger/PeriodMap.h"
#include "ledger/DbfFile.h"

#include <algorithm>
#include <cstring>

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
std::uint64_t prefixOf(std::string_view key)
{
    std::uint64_t p = 0;
    for (std::size_t i = 0; i < 8; ++i)
        p = (p << 8) | (i < key.size() ? std::uint8_t(key[i]) : 0u);
    return p;
}
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
    if (same) {
        if (lastBlank_)
            return false;
        Run &run = runs_.back();
        if (run.first + run.count == recno)
            ++run.count;
        else // a deleted record came between
            runs_.push_back(Run{run.prefix, run.key, recno, 1});
        return lastWanted_;
    }
    last_.assign(span, std::size_t(spanLength_));
    lastWord_ = word;
    haveLast_ = true;
    keyOf(file_, record, fields_, key_);
    lastBlank_ = key_.empty();
    lastWanted_ = !lastBlank_ && key_ == wanted_;
    if (!lastBlank_)
        runs_.push_back(Run{prefixOf(key_), key_, recno, 1});
    return lastWanted_;
}

PeriodMap PeriodMap::Builder::finish()
{
    // Sorted by key through small entries; a run's own key is looked at only when two runs share
    // their first eight bytes.
    struct Entry
    {
        std::uint64_t prefix;
        std::uint32_t run;
    };
    std::vector<Entry> order(runs_.size());
    for (std::uint32_t i = 0; i < runs_.size(); ++i)
        order[i] = Entry{runs_[i].prefix, i};
    std::sort(order.begin(), order.end(), [this](const Entry &a, const Entry &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const std::string &ka = runs_[a.run].key, &kb = runs_[b.run].key;
        if (ka.size() != kb.size() || ka.size() > 8)
            if (const int c = ka.compare(kb))
                return c < 0;
        return a.run < b.run; // runs come in record order
    });
    PeriodMap map(std::move(fields_));
    std::size_t periods = 0;
    for (std::size_t i = 0; i < order.size(); ++i)
        periods += i == 0 || runs_[order[i].run].key != runs_[order[i - 1].run].key;
    map.periods_.reserve(periods);
    map.runs_.reserve(runs_.size());
    for (const Entry &e : order) {
        Run &r = runs_[e.run];
        map.records_ += r.count;
        if (map.periods_.empty() || map.periods_.back().key != r.key) {
            map.periods_.push_back(Period{std::move(r.key), std::uint32_t(map.runs_.size())});
        } else if (Span &last = map.runs_.back(); last.first + last.count == r.first) {
            last.count += r.count;
            continue;
        }
        map.runs_.push_back(Span{r.first, r.count});
    }
    runs_ = {};
    return map;
}

} // namespace kw
