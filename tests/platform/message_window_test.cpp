#include "platform/message_window.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/exception_handler.h"
#include "platform/message_box.h"

using namespace qv;
using namespace std::chrono_literals;
using TMsgs = std::vector<uint32_t>;

TEST(MessageWindow, DeliversPostsFromAnyThreadInOrderInTheMainThread)
{
    std::vector<std::tuple<uint32_t, uintptr_t, intptr_t, bool>> got;
    TMessageWindow window([&](uint32_t m, uintptr_t w, intptr_t l) { got.emplace_back(m, w, l, IsMainThread()); });
    window.Post(1, 10, -1);
    std::thread t([&] {
        for (uint32_t i = 2; i <= 100; ++i)
            window.Post(i, i * 10, -static_cast<intptr_t>(i));
    });
    t.join();
    EXPECT_TRUE(got.empty()) << "posting never calls the handler directly";
    EXPECT_EQ(window.PendingCount(0, 1000), 100);
    ASSERT_TRUE(WaitWithMessages([&] { return got.size() == 100; }, 5000));
    for (uint32_t i = 1; i <= 100; ++i)
        EXPECT_EQ(got[i - 1], std::tuple(i, uintptr_t(i * 10), -static_cast<intptr_t>(i), true));
    EXPECT_EQ(window.PendingCount(0, 1000), 0);
}

TEST(MessageWindow, PurgeRemovesOnlyItsRangeOfItsOwnWindow)
{
    TMsgs a, b;
    TMessageWindow wa([&](uint32_t m, uintptr_t, intptr_t) { a.push_back(m); });
    TMessageWindow wb([&](uint32_t m, uintptr_t, intptr_t) { b.push_back(m); });
    for (uint32_t m : {958u, 959u, 960u, 961u, 0x8001u}) {
        wa.Post(m);
        wb.Post(m);
    }
    EXPECT_EQ(wa.PendingCount(959, 960), 2);
    wa.Purge(959, 960);
    EXPECT_EQ(wa.PendingCount(959, 960), 0);
    EXPECT_EQ(wa.PendingCount(0, 0xFFFFFFFF), 3);
    EXPECT_EQ(wb.PendingCount(0, 0xFFFFFFFF), 5);
    WaitWithMessages([&] { return a.size() == 3 && b.size() == 5; }, 5000);
    EXPECT_EQ(a, (TMsgs{958, 961, 0x8001}));
    EXPECT_EQ(b, (TMsgs{958, 959, 960, 961, 0x8001}));
    ProcessMessages(); // nothing more arrives from the surplus wake-ups
    EXPECT_EQ(a.size(), 3u);
}

TEST(MessageWindow, DestroyedWindowDropsPendingMessagesAndHandlerErrorsGoToTheHandler)
{
    int calls = 0;
    {
        TMessageWindow w([&](uint32_t, uintptr_t, intptr_t) { ++calls; });
        w.Post(1);
        w.Post(2);
    }
    ProcessMessages();
    EXPECT_EQ(calls, 0);

    std::vector<std::string> shown;
    auto old = SetExceptionHandler([&](std::exception_ptr e) {
        std::string s;
        shown.push_back(ExceptionText(e, s));
    });
    TMsgs after;
    TMessageWindow w([&](uint32_t m, uintptr_t, intptr_t) {
        if (m == 1)
            throw std::runtime_error("boom");
        after.push_back(m);
    });
    w.Post(1);
    w.Post(2);
    WaitWithMessages([&] { return after.size() == 1; }, 5000);
    SetExceptionHandler(old);
    EXPECT_EQ(shown, std::vector<std::string>{"boom"});
    EXPECT_EQ(after, TMsgs{2});
}

TEST(MessageWindow, NestedWaitInsideAHandlerDeliversLaterMessagesAndDeliverPendingOnlyWhatWasQueued)
{
    TMsgs order;
    TMessageWindow* self = nullptr;
    TMessageWindow w([&](uint32_t m, uintptr_t, intptr_t) {
        order.push_back(m);
        if (m == 1) {
            self->Post(2);
            EXPECT_TRUE(WaitWithMessages([&] { return order.size() == 2; }, 5000));
            order.push_back(100);
        }
    });
    self = &w;
    w.Post(1);
    WaitWithMessages([&] { return order.size() == 3; }, 5000);
    EXPECT_EQ(order, (TMsgs{1, 2, 100}));

    TMsgs got;
    TMessageWindow w2([&](uint32_t m, uintptr_t, intptr_t) {
        got.push_back(m);
        if (m == 1)
            self->Post(3);
    });
    self = &w2;
    w2.Post(1);
    w2.Post(2);
    EXPECT_EQ(w2.DeliverPending(), 2);
    EXPECT_EQ(got, (TMsgs{1, 2}));
    EXPECT_EQ(w2.PendingCount(3, 3), 1);
}

TEST(Waits, TimeOutWhenNeverDoneAndReturnAtOnceWhenDone)
{
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitWithMessages([] { return false; }, 50));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 50ms);
    EXPECT_FALSE(WaitSleeping([] { return false; }, 20));
    EXPECT_TRUE(WaitWithMessages([] { return true; }, 0));
    std::atomic<bool> flag{false};
    std::thread t([&] {
        std::this_thread::sleep_for(20ms);
        flag = true;
    });
    EXPECT_TRUE(WaitSleeping([&] { return flag.load(); }, 10000));
    t.join();
}

TEST(AutoResetEvent, ReleasesOneWaitAndResets)
{
    TAutoResetEvent e;
    EXPECT_FALSE(e.Wait(10));
    e.Set();
    e.Set(); // not counted: still one release
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(10));
    EXPECT_FALSE(e.TryWait());

    std::atomic<bool> woke{false};
    std::thread t([&] { woke = e.Wait(-1); });
    std::this_thread::sleep_for(10ms);
    e.Set();
    t.join();
    EXPECT_TRUE(woke);
    EXPECT_FALSE(e.TryWait());
}

TEST(MessageQueue, PeekGetAndWaitForEventOrMessage)
{
    TMessageQueue q;
    TMessage m;
    EXPECT_FALSE(q.Peek(m));
    EXPECT_FALSE(q.Get(m, 10));
    q.Post(5, 6, 7);
    q.Post(8);
    q.Post(9);
    EXPECT_EQ(q.PendingCount(8, 9), 2);
    q.Purge(9, 9);
    ASSERT_TRUE(q.Peek(m));
    EXPECT_EQ(std::tuple(m.msg, m.wParam, m.lParam), std::tuple(5u, 6u, 7));
    ASSERT_TRUE(q.Get(m, 0));
    EXPECT_EQ(m.msg, 8u);

    TAutoResetEvent stop;
    EXPECT_EQ(q.WaitFor(stop, 10), TMessageQueue::wrTimeout);
    std::thread poster([&] {
        std::this_thread::sleep_for(10ms);
        q.Post(42);
    });
    EXPECT_EQ(q.WaitFor(stop, -1), TMessageQueue::wrMessage);
    poster.join();
    EXPECT_EQ(q.PendingCount(42, 42), 1) << "a message is left queued";
    std::thread setter([&] {
        std::this_thread::sleep_for(10ms);
        stop.Set();
    });
    q.Peek(m);
    EXPECT_EQ(q.WaitFor(stop, -1), TMessageQueue::wrEvent);
    setter.join();
    EXPECT_FALSE(stop.TryWait()) << "the wait consumed the event";
}

TEST(MessageThread, ProcessesPostedMessagesOnItsOwnThreadUntilTerminated)
{
    TMsgs got;
    std::atomic<bool> otherThread{true};
    const auto mainId = std::this_thread::get_id();
    TAutoResetEvent done;
    {
        TMessageThread t([&](TMessageThread& self) {
            TMessage m;
            while (!self.Terminated()) {
                if (!self.Queue().Get(m, -1))
                    continue;
                if (m.msg == TMessageThread::WM_QUIT)
                    break;
                if (std::this_thread::get_id() == mainId)
                    otherThread = false;
                got.push_back(m.msg);
                if (got.size() == 3)
                    done.Set();
            }
        });
        t.Post(1);
        t.Post(2);
        t.Start();
        t.Post(3);
        ASSERT_TRUE(done.Wait(5000));
    } // the destructor terminates and joins
    EXPECT_EQ(got, (TMsgs{1, 2, 3}));
    EXPECT_TRUE(otherThread);
}

TEST(MessageBox, HookRecordsInsteadOfShowing)
{
    std::vector<std::pair<std::string, std::string>> calls;
    auto old = SetMessageBoxHook([&](const std::string& t, const std::string& c) { calls.emplace_back(t, c); });
    ShowMessageBox("Text\n\rline", "Caption");
    SetMessageBoxHook(old);
    EXPECT_EQ(calls, (std::vector<std::pair<std::string, std::string>>{{"Text\n\rline", "Caption"}}));
}
