#include "platform/periodic_timer.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "platform/message_window.h"

using namespace qv;
using namespace std::chrono_literals;

TEST(PeriodicTimer, FiresRepeatedlyStopsForGoodAndCanBeKilledFromItsOwnCallback)
{
    std::atomic<int> calls{0};
    {
        TPeriodicTimer t(5, [&] { ++calls; });
        ASSERT_TRUE(WaitSleeping([&] { return calls >= 3; }, 10000));
        t.Stop();
        const int after = calls;
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(calls, after);
    }

    calls = 0;
    std::atomic<uint32_t> id{0};
    std::atomic<bool> killed{false};
    id = TimeSetEvent(2, [&] {
        if (++calls == 2) {
            while (id == 0) // the identifier may not be stored yet on a loaded machine
                std::this_thread::yield();
            killed = TimeKillEvent(id);
        }
    });
    ASSERT_TRUE(WaitSleeping([&] { return killed.load(); }, 10000));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(TimeKillEvent(id)); // already gone
    EXPECT_FALSE(TimeKillEvent(0));
}

TEST(PeriodicTimer, ClocksAreMonotonic)
{
    const int64_t a = MicroTime();
    const uint32_t ma = TimeGetTime();
    std::this_thread::sleep_for(3ms);
    EXPECT_GE(MicroTime() - a, 3000);
    EXPECT_GE(TimeGetTime() - ma, 2u);
}
