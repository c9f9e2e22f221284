#include "dsp/tick_timer.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/exception_handler.h"
#include "framework/exceptions.h"
#include "platform/message_window.h"

using namespace qv;
using namespace std::chrono_literals;

namespace {

// Waits for a condition with a generous time-out; true when it came.
bool WaitFor(const std::function<bool()>& done) { return WaitSleeping(done, 20000); }

bool WaitTicks(uint64_t ticks)
{
    const uint64_t start = TickCount();
    return WaitFor([&] { return TickCount() >= start + ticks; });
}

// Records the tick number of each callback.
struct Recorder {
    std::mutex lock;
    std::vector<uint64_t> ticks;
    TTickCallback Callback()
    {
        return [this](TTickClient*, void*) {
            std::lock_guard<std::mutex> l(lock);
            ticks.push_back(TickCount());
        };
    }
    size_t Size()
    {
        std::lock_guard<std::mutex> l(lock);
        return ticks.size();
    }
};

class TickTimer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(TickClientCount(), 0);
        ASSERT_FALSE(TickTimerRunning());
    }
    void TearDown() override { EXPECT_EQ(TickClientCount(), 0) << "a test left a client behind"; }
};

} // namespace

TEST_F(TickTimer, IntervalsCountInWholeTicks)
{
    Recorder fast, slow;
    int owner = 0;
    PTickClient c25 = AddTickClient(10, false, fast.Callback(), &owner);
    PTickClient c100 = AddTickClient(100, false, slow.Callback(), &owner);
    ASSERT_TRUE(c25 && c100);
    EXPECT_EQ(c25->Interval, 25); // raised to the tick
    EXPECT_EQ(c100->Interval, 100);
    EXPECT_EQ(c25->Owner, &owner);
    EXPECT_EQ(TickClientCount(), 2);
    EXPECT_TRUE(TickTimerRunning());
    ASSERT_TRUE(WaitFor([&] { return slow.Size() >= 4; }));
    RemoveTickClient(c100);
    RemoveTickClient(c25);
    for (size_t i = 1; i < slow.ticks.size(); ++i)
        EXPECT_EQ(slow.ticks[i] - slow.ticks[i - 1], 4u);
    for (size_t i = 1; i < fast.ticks.size(); ++i)
        EXPECT_EQ(fast.ticks[i] - fast.ticks[i - 1], 1u);
    EXPECT_GE(fast.ticks.size(), 4 * slow.ticks.size() - 3);
}

TEST_F(TickTimer, PausesAndResumesAreCounted)
{
    std::atomic<int> calls{0};
    PTickClient c = AddTickClient(25, true, [&](TTickClient*, void*) { ++calls; }, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(TickClientPauseCount(c), 1);
    ASSERT_TRUE(WaitTicks(4));
    EXPECT_EQ(calls, 0); // added paused: never fires
    PauseTickClient(c);
    EXPECT_EQ(TickClientPauseCount(c), 2);
    ResumeTickClient(c);
    EXPECT_EQ(TickClientPauseCount(c), 1);
    ASSERT_TRUE(WaitTicks(4));
    EXPECT_EQ(calls, 0); // two pauses need two resumes
    ResumeTickClient(c);
    EXPECT_EQ(TickClientPauseCount(c), 0);
    ASSERT_TRUE(WaitFor([&] { return calls >= 2; }));
    ResumeTickClient(c); // running already: nothing
    EXPECT_EQ(TickClientPauseCount(c), 0);
    PauseTickClient(nullptr);
    ResumeTickClient(nullptr);
    TTickClient stranger{25, nullptr, {}, 0, 0, nullptr};
    PauseTickClient(&stranger); // not in the list: left alone
    EXPECT_EQ(stranger.PauseCount, 0);
    EXPECT_EQ(TickClientPauseCount(&stranger), -1);
    RemoveTickClient(c);
}

TEST_F(TickTimer, PauseRestartsTheInterval)
{
    Recorder target;
    std::atomic<int> elapsedBefore{-1}, elapsedAfter{-1};
    PTickClient t = AddTickClient(100, false, target.Callback(), nullptr);
    // A second client acts at a known tick: two ticks after the target fired.
    // Clients run in the order they were added, so the target has been counted.
    PTickClient driver = AddTickClient(25, false, [&](TTickClient*, void*) {
        std::lock_guard<std::mutex> l(target.lock);
        if (target.ticks.size() == 1 && TickCount() == target.ticks[0] + 2 && elapsedBefore < 0) {
            elapsedBefore = TickClientElapsed(t);
            PauseTickClient(t);
            elapsedAfter = TickClientElapsed(t);
            ResumeTickClient(t);
        }
    }, nullptr);
    ASSERT_TRUE(WaitFor([&] { return target.Size() >= 2; }));
    RemoveTickClient(driver);
    RemoveTickClient(t);
    EXPECT_EQ(elapsedBefore, 50);
    EXPECT_EQ(elapsedAfter, 0);
    // Without the pause the next call would have come 4 ticks after the first.
    EXPECT_EQ(target.ticks[1] - target.ticks[0], 6u);
}

TEST_F(TickTimer, TimerLivesOnlyWhileClientsExist)
{
    std::atomic<int> calls{0};
    PTickClient c = AddTickClient(25, false, [&](TTickClient*, void*) { ++calls; }, nullptr);
    ASSERT_TRUE(WaitFor([&] { return calls >= 1; }));
    TTickClient stranger{25, nullptr, {}, 0, 0, nullptr};
    RemoveTickClient(&stranger);
    RemoveTickClient(nullptr);
    EXPECT_EQ(TickClientCount(), 1);
    RemoveTickClient(c);
    EXPECT_EQ(TickClientCount(), 0);
    EXPECT_FALSE(TickTimerRunning());
    const uint64_t stoppedAt = TickCount();
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(TickCount(), stoppedAt);

    // The next client starts a new timer.
    calls = 0;
    c = AddTickClient(50, false, [&](TTickClient*, void*) { ++calls; }, nullptr);
    EXPECT_TRUE(TickTimerRunning());
    ASSERT_TRUE(WaitFor([&] { return calls >= 2; }));
    RemoveTickClient(c);

    // A client may remove itself from its callback; being the last, it stops the timer.
    std::atomic<int> selfCalls{0};
    AddTickClient(25, false, [&](TTickClient* self, void*) {
        ++selfCalls;
        RemoveTickClient(self);
    }, nullptr);
    ASSERT_TRUE(WaitFor([] { return !TickTimerRunning(); }));
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(TickClientCount(), 0);
}

TEST_F(TickTimer, NoCallbackRunsWhileItsClientIsPaused)
{
    std::atomic<bool> inside{false};
    std::atomic<int> calls{0};
    PTickClient c = AddTickClient(25, false, [&](TTickClient*, void*) {
        inside = true;
        std::this_thread::sleep_for(3ms);
        ++calls;
        inside = false;
    }, nullptr);
    for (int round = 0; round < 5; ++round) {
        const int before = calls;
        ASSERT_TRUE(WaitFor([&] { return calls > before; }));
        PauseTickClient(c);
        EXPECT_FALSE(inside);
        const int paused = calls;
        ASSERT_TRUE(WaitTicks(2));
        EXPECT_EQ(calls, paused);
        ResumeTickClient(c);
    }
    RemoveTickClient(c);
}

TEST_F(TickTimer, AThrowingCallbackIsReportedAndOthersGoOn)
{
    std::mutex lock;
    std::vector<std::string> reported;
    TExceptionHandler previous = SetExceptionHandler([&](std::exception_ptr e) {
        std::string storage;
        std::lock_guard<std::mutex> l(lock);
        reported.push_back(ExceptionText(e, storage));
    });
    std::atomic<int> calls{0};
    PTickClient bad = AddTickClient(25, false, [](TTickClient*, void*) { throw Exception("tick failed"); }, nullptr);
    PTickClient good = AddTickClient(25, false, [&](TTickClient*, void*) { ++calls; }, nullptr);
    ASSERT_TRUE(WaitFor([&] { return calls >= 3; }));
    RemoveTickClient(bad);
    RemoveTickClient(good);
    SetExceptionHandler(previous);
    std::lock_guard<std::mutex> l(lock);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.front(), "tick failed");
}
