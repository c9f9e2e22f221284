#pragma once
// A periodic timer on a thread of its own, paced by absolute deadlines on the
// monotonic clock so that it does not drift. The callback runs on the timer's
// thread.
#include <cstdint>
#include <functional>
#include <memory>

namespace qv {

class TPeriodicTimer {
public:
    using Callback = std::function<void()>;

    // Starts at once: the first call comes one period from now.
    TPeriodicTimer(uint32_t periodMs, Callback callback);
    // Stops and waits for a running callback to finish, except when called from
    // the callback itself (then the thread ends after the callback returns).
    ~TPeriodicTimer();
    TPeriodicTimer(const TPeriodicTimer&) = delete;
    TPeriodicTimer& operator=(const TPeriodicTimer&) = delete;

    void Stop();
    uint32_t PeriodMs() const { return FPeriodMs; }
    // True on the timer's own thread.
    bool IsTimerThread() const;

private:
    struct State;
    std::shared_ptr<State> FState;
    uint32_t FPeriodMs;
};

// Identifier-based form: 0 is never a valid identifier.
uint32_t TimeSetEvent(uint32_t periodMs, TPeriodicTimer::Callback callback);
// Returns false for an unknown identifier.
bool TimeKillEvent(uint32_t id);

// Milliseconds since an arbitrary start, on the monotonic clock (wraps at 2^32).
uint32_t TimeGetTime();
// Microseconds since an arbitrary start, on the monotonic clock.
int64_t MicroTime();

} // namespace qv
