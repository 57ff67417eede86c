#include "ledger/WriteGate.h"

#include <condition_variable>
#include <mutex>

namespace kw::writegate {

namespace {

struct State
{
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t generation = 0; // changes begun, ever
    int open = 0;                 // threads inside a change
    bool held = false;
    int waiting = 0;
};

State &state()
{
    static State s;
    return s;
}

thread_local int depth = 0;

void enter()
{
    if (depth++ > 0)
        return;
    State &s = state();
    std::unique_lock lock(s.mutex);
    if (s.held) {
        ++s.waiting;
        s.changed.wait(lock, [&] { return !s.held; });
        --s.waiting;
    }
    ++s.generation;
    ++s.open;
}

void leave()
{
    if (--depth > 0)
        return;
    State &s = state();
    {
        std::lock_guard lock(s.mutex);
        --s.open;
    }
    s.changed.notify_all();
}

} // namespace

Change::Change()
{
    enter();
}

Change::~Change()
{
    leave();
}

std::uint64_t quietPoint()
{
    State &s = state();
    std::unique_lock lock(s.mutex);
    s.changed.wait(lock, [&] { return s.open == 0; });
    return s.generation;
}

bool quietSince(std::uint64_t point)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    return s.open == 0 && s.generation == point;
}

Hold::Hold()
{
    State &s = state();
    std::unique_lock lock(s.mutex);
    // One hold at a time; the second copier waits its turn like a writer would.
    s.changed.wait(lock, [&] { return !s.held; });
    s.held = true;
    s.changed.wait(lock, [&] { return s.open == 0; });
}

Hold::~Hold()
{
    State &s = state();
    {
        std::lock_guard lock(s.mutex);
        s.held = false;
    }
    s.changed.notify_all();
}

bool writerWaiting()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    return s.waiting > 0;
}

} // namespace kw::writegate
