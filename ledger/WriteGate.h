#pragma once

#include <cstdint>

namespace kw::writegate {

// Where the program's own writes to the ledger meet a copy of the ledger taken in another thread.
// A copy is only worth keeping when it holds the tables as they were between two changes: a day
// entry copied before a booking beside a month sum copied after it would disagree. Writers mark
// each change (an atomic group, or a lone write); the copier either sees that nothing changed
// while it copied, or holds new changes off while it copies once more.

// Held by a writer for the whole of one change (an atomic group; every single write to a ledger
// file holds one too, so a lone write counts as a change of its own). Nested changes on one thread
// count as one. While a copier holds writes off, a new change waits here until the hold ends.
class Change
{
public:
    Change();
    ~Change();
    Change(const Change &) = delete;
    Change &operator=(const Change &) = delete;
};

// For the copier: waits until no change is open and returns the count of changes so far.
std::uint64_t quietPoint();
// True when no change has begun or written since quietPoint() returned `point`, and none is open.
bool quietSince(std::uint64_t point);

// For the copier: from construction (which waits for open changes to end) to destruction, new
// changes wait. Only for a short copy that could not otherwise be taken whole.
class Hold
{
public:
    Hold();
    ~Hold();
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;
};

// Whether some thread is waiting for a hold to end (tests use it to see a writer held off).
bool writerWaiting();

} // namespace kw::writegate
