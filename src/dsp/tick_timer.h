#pragma once
// The shared slow clock: one periodic 25 ms timer thread serves every client
// (the spectrum's falling peaks and the like). Each client has an interval and a
// callback; the timer exists only while at least one client exists.
//
// Callbacks run on the timer thread while the client list is locked. Pause,
// resume, add and remove take the same lock, so once PauseTickClient returns no
// callback of that client is running or will start until it is resumed.
#include <cstdint>
#include <functional>

namespace qv {

struct TTickClient;
using TTickCallback = std::function<void(TTickClient* Client, void* Owner)>;

struct TTickClient {
    int32_t Interval;       // ms between callbacks, at least 25
    void* Owner;            // passed back to the callback
    TTickCallback Callback;
    int32_t PauseCount;     // 0 = running; each pause adds 1, each resume takes 1
    int32_t Elapsed;        // ms counted since the last callback
    TTickClient* Next;      // in the order the clients were added
};
using PTickClient = TTickClient*;

constexpr int32_t kTickPeriodMs = 25;

// Adds a client (Interval raised to 25 ms at least), running or paused. Starts
// the timer for the first client; returns null when the timer cannot start.
PTickClient AddTickClient(int32_t Interval, bool Paused, TTickCallback Callback, void* Owner);
// Pausing also restarts the client's count, so after the resume a whole interval
// passes before the next callback. Resuming a running client does nothing.
// Both accept null and clients that are not (or no longer) in the list.
void PauseTickClient(PTickClient Client);
void ResumeTickClient(PTickClient Client);
// Unlinks and frees the client (a client not in the list is left alone); the
// last one stops the timer. Safe from within a callback, also for its own client.
void RemoveTickClient(PTickClient Client);

// State queries, taken under the list lock.
int32_t TickClientCount();
bool TickTimerRunning();
// Timer ticks processed since the program started.
uint64_t TickCount();
// The client's Elapsed and PauseCount, or -1 when it is not in the list.
int32_t TickClientElapsed(PTickClient Client);
int32_t TickClientPauseCount(PTickClient Client);

} // namespace qv
