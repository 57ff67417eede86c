#include "ledger/PeriodMap.h"
#include "ledger/DbfFile.h"

#include <algorithm>
#include <numeric>

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

std::span<const std::uint32_t> PeriodMap::records(std::string_view key) const
{
    const std::size_t p = find(key);
    if (p == periods_.size() || periods_[p].key != key)
        return {};
    return std::span<const std::uint32_t>(recnos_.data() + periods_[p].begin, end(p) - periods_[p].begin);
}

void PeriodMap::add(std::string_view key, std::uint32_t recno)
{
    if (key.empty())
        return;
    std::size_t p = find(key);
    if (p == periods_.size() || periods_[p].key != key) {
        const std::uint32_t at = p < periods_.size() ? periods_[p].begin : std::uint32_t(recnos_.size());
        periods_.insert(periods_.begin() + std::ptrdiff_t(p), Period{std::string(key), at});
    }
    const auto first = recnos_.begin() + periods_[p].begin, last = recnos_.begin() + end(p);
    const auto it = std::lower_bound(first, last, recno);
    if (it != last && *it == recno)
        return;
    recnos_.insert(it, recno);
    for (std::size_t q = p + 1; q < periods_.size(); ++q)
        ++periods_[q].begin;
}

void PeriodMap::remove(std::string_view key, std::uint32_t recno)
{
    if (key.empty())
        return;
    const std::size_t p = find(key);
    if (p == periods_.size() || periods_[p].key != key)
        return;
    const auto first = recnos_.begin() + periods_[p].begin, last = recnos_.begin() + end(p);
    const auto it = std::lower_bound(first, last, recno);
    if (it == last || *it != recno)
        return;
    recnos_.erase(it);
    for (std::size_t q = p + 1; q < periods_.size(); ++q)
        --periods_[q].begin;
    // A period left empty keeps its entry; it costs a few bytes and the next add finds it.
}

std::size_t PeriodMap::bytes() const
{
    std::size_t n = recnos_.capacity() * sizeof(std::uint32_t) + periods_.capacity() * sizeof(Period) +
                    fields_.capacity() * sizeof(int);
    for (const Period &p : periods_)
        if (p.key.capacity() > 15)
            n += p.key.capacity() + 1;
    return n;
}

PeriodMap::Builder::Builder(std::vector<int> fields, std::uint32_t records, std::string wanted)
    : fields_(std::move(fields)), wanted_(std::move(wanted)), idOfRecord_(records, -1)
{}

bool PeriodMap::Builder::place(const DbfFile &file, std::uint32_t recno, const char *record)
{
    PeriodMap::keyOf(file, record, fields_, key_);
    if (key_.empty())
        return false;
    // Days are entered period after period, so a record nearly always belongs where the one
    // before it did.
    if (lastId_ < 0 || key_ != lastKey_) {
        auto it = index_.find(std::string_view(key_));
        if (it == index_.end()) {
            it = index_.emplace(key_, std::int32_t(keys_.size())).first;
            keys_.push_back(key_);
            counts_.push_back(0);
        }
        lastId_ = it->second;
        lastKey_ = key_;
        lastWanted_ = !wanted_.empty() && key_ == wanted_;
    }
    idOfRecord_[recno] = lastId_;
    ++counts_[std::size_t(lastId_)];
    return lastWanted_;
}

PeriodMap PeriodMap::Builder::finish()
{
    index_ = {};
    std::vector<std::uint32_t> order(keys_.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return keys_[a] < keys_[b]; });

    PeriodMap map(std::move(fields_));
    map.periods_.reserve(keys_.size());
    std::vector<std::uint32_t> next(keys_.size());
    std::uint32_t at = 0;
    for (const std::uint32_t id : order) {
        map.periods_.push_back(Period{std::move(keys_[id]), at});
        next[id] = at;
        at += counts_[id];
    }
    map.recnos_.resize(at);
    for (std::uint32_t recno = 0; recno < idOfRecord_.size(); ++recno)
        if (const std::int32_t id = idOfRecord_[recno]; id >= 0)
            map.recnos_[next[std::size_t(id)]++] = recno;
    idOfRecord_ = {};
    keys_ = {};
    counts_ = {};
    return map;
}

} // namespace kw
