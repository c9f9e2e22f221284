#include "dsp/tick_timer.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>

#include "framework/exception_handler.h"
#include "platform/periodic_timer.h"

namespace qv {

namespace {

struct TTickUnit {
    std::recursive_mutex Lock;
    TTickClient* Head = nullptr;
    int32_t Count = 0;
    // The client a running tick visits next; kept valid when a callback removes it.
    TTickClient* VisitNext = nullptr;
    std::unique_ptr<TPeriodicTimer> Timer;
    std::atomic<int32_t> Reentry{0};
    uint64_t Ticks = 0;

    // At program end: kill a timer that is still running and free what is left.
    ~TTickUnit()
    {
        std::unique_ptr<TPeriodicTimer> timer;
        {
            std::lock_guard<std::recursive_mutex> lock(Lock);
            timer = std::move(Timer);
            while (Head) {
                TTickClient* next = Head->Next;
                delete Head;
                Head = next;
            }
            Count = 0;
        }
        timer.reset();
    }
};

TTickUnit& Unit()
{
    static TTickUnit unit;
    return unit;
}

// Every 25 ms on the timer thread.
void TimerRoutine()
{
    TTickUnit& u = Unit();
    // A tick of an old timer still running while a new one starts is skipped.
    if (u.Reentry.fetch_add(1) == 0) {
        std::lock_guard<std::recursive_mutex> lock(u.Lock);
        ++u.Ticks;
        for (TTickClient* c = u.Head; c; c = u.VisitNext) {
            u.VisitNext = c->Next;
            if (c->PauseCount != 0)
                continue;
            c->Elapsed += kTickPeriodMs;
            if (c->Elapsed >= c->Interval) {
                // Reset first: the callback may free its own client.
                c->Elapsed = 0;
                if (c->Callback) {
                    // Nothing may escape the timer thread; the top-level handler reports it.
                    GuardedCall([c] { c->Callback(c, c->Owner); });
                }
            }
        }
        u.VisitNext = nullptr;
    }
    u.Reentry.fetch_sub(1);
}

// Under the lock.
bool InList(const TTickUnit& u, const TTickClient* client)
{
    for (const TTickClient* c = u.Head; c; c = c->Next)
        if (c == client)
            return true;
    return false;
}

} // namespace

PTickClient AddTickClient(int32_t Interval, bool Paused, TTickCallback Callback, void* Owner)
{
    TTickUnit& u = Unit();
    std::unique_ptr<TTickClient> client(new (std::nothrow) TTickClient{
        Interval < kTickPeriodMs ? kTickPeriodMs : Interval, Owner, std::move(Callback),
        Paused ? 1 : 0, 0, nullptr});
    if (!client)
        return nullptr;
    std::lock_guard<std::recursive_mutex> lock(u.Lock);
    if (!u.Timer) {
        try {
            u.Timer = std::make_unique<TPeriodicTimer>(kTickPeriodMs, TimerRoutine);
        } catch (...) {
            u.Count = 0;
            return nullptr;
        }
    }
    TTickClient** tail = &u.Head;
    while (*tail)
        tail = &(*tail)->Next;
    *tail = client.release();
    ++u.Count;
    return *tail;
}

void PauseTickClient(PTickClient Client)
{
    TTickUnit& u = Unit();
    std::lock_guard<std::recursive_mutex> lock(u.Lock);
    if (!Client || u.Count == 0 || !InList(u, Client))
        return;
    ++Client->PauseCount;
    Client->Elapsed = 0;
}

void ResumeTickClient(PTickClient Client)
{
    TTickUnit& u = Unit();
    std::lock_guard<std::recursive_mutex> lock(u.Lock);
    if (!Client || u.Count == 0 || !InList(u, Client))
        return;
    if (Client->PauseCount > 0)
        --Client->PauseCount;
}

void RemoveTickClient(PTickClient Client)
{
    TTickUnit& u = Unit();
    std::unique_ptr<TPeriodicTimer> stopped;
    {
        std::lock_guard<std::recursive_mutex> lock(u.Lock);
        if (!Client)
            return;
        TTickClient** link = &u.Head;
        while (*link && *link != Client)
            link = &(*link)->Next;
        if (!*link)
            return;
        *link = Client->Next;
        if (u.VisitNext == Client)
            u.VisitNext = Client->Next;
        delete Client;
        if (--u.Count <= 0) {
            u.Count = 0;
            u.Head = nullptr;
            stopped = std::move(u.Timer);
        }
    }
    // Outside the lock: stopping waits for a tick in progress, which needs the
    // lock. From the timer's own thread the stop does not wait.
    stopped.reset();
}

int32_t TickClientCount()
{
    TTickUnit& u = Unit();
    std::lock_guard<std::recursive_mutex> lock(u.Lock);
    return u.Count;
}

bool TickTimerRunning()
{
    TTickUnit& u = Unit();
    std::lock_guard<std::recursive_mutex> lock(u.Lock);
    return u.Timer != nullptr;
}

uint64_t TickCount()
{
    TTickUnit& u = Unit();
    std::lock_guard<std::recursive_mutex> lock(u.Lock);
    return u.Ticks;
}

int32_t TickClientElapsed(PTickClient Client)
{
    TTickUnit& u = Unit();
    std::lock_guard<std::recursive_mutex> lock(u.Lock);
    return Client && InList(u, Client) ? Client->Elapsed : -1;
}

int32_t TickClientPauseCount(PTickClient Client)
{
    TTickUnit& u = Unit();
    std::lock_guard<std::recursive_mutex> lock(u.Lock);
    return Client && InList(u, Client) ? Client->PauseCount : -1;
}

} // namespace qv
