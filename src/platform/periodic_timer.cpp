#include "platform/periodic_timer.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace qv {

using Clock = std::chrono::steady_clock;

struct TPeriodicTimer::State {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;
    std::thread::id threadId;
};

TPeriodicTimer::TPeriodicTimer(uint32_t periodMs, Callback callback)
    : FState(std::make_shared<State>()), FPeriodMs(periodMs == 0 ? 1 : periodMs)
{
    auto state = FState;
    const auto period = std::chrono::milliseconds(FPeriodMs);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->thread = std::thread([state, period, cb = std::move(callback)]() {
        auto deadline = Clock::now() + period;
        std::unique_lock<std::mutex> lk(state->mutex);
        for (;;) {
            if (state->wake.wait_until(lk, deadline, [&] { return state->stop; }))
                return;
            lk.unlock();
            cb();
            lk.lock();
            if (state->stop)
                return;
            deadline += period;
            const auto now = Clock::now();
            // After a long stall, skip the missed periods instead of firing in a burst.
            if (deadline + period < now)
                deadline = now + period;
        }
    });
    state->threadId = state->thread.get_id();
}

TPeriodicTimer::~TPeriodicTimer() { Stop(); }

bool TPeriodicTimer::IsTimerThread() const
{
    return FState && std::this_thread::get_id() == FState->threadId;
}

void TPeriodicTimer::Stop()
{
    if (!FState)
        return;
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(FState->mutex);
        FState->stop = true;
        t = std::move(FState->thread);
    }
    FState->wake.notify_all();
    if (t.joinable()) {
        if (t.get_id() == std::this_thread::get_id())
            t.detach(); // stopped from its own callback: the thread ends by itself
        else
            t.join();
    }
}

namespace {
std::mutex gTimersLock;
std::map<uint32_t, std::unique_ptr<TPeriodicTimer>>& Timers()
{
    static std::map<uint32_t, std::unique_ptr<TPeriodicTimer>> timers;
    return timers;
}
uint32_t gNextId = 1;
} // namespace

uint32_t TimeSetEvent(uint32_t periodMs, TPeriodicTimer::Callback callback)
{
    std::lock_guard<std::mutex> lock(gTimersLock);
    uint32_t id = gNextId++;
    if (id == 0)
        id = gNextId++;
    Timers()[id] = std::make_unique<TPeriodicTimer>(periodMs, std::move(callback));
    return id;
}

bool TimeKillEvent(uint32_t id)
{
    std::unique_ptr<TPeriodicTimer> timer;
    {
        std::lock_guard<std::mutex> lock(gTimersLock);
        auto it = Timers().find(id);
        if (it == Timers().end())
            return false;
        timer = std::move(it->second);
        Timers().erase(it);
    }
    timer.reset(); // joins outside the registry lock: a callback may itself set or kill timers
    return true;
}

namespace {
const Clock::time_point gStart = Clock::now();
}

uint32_t TimeGetTime()
{
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - gStart).count());
}

int64_t MicroTime()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - gStart).count();
}

} // namespace qv
