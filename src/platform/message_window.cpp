#include "platform/message_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "framework/exception_handler.h"

namespace qv {

namespace {

using Clock = std::chrono::steady_clock;

// One event type for every message window: the window keeps its own queue, so a
// wake-up event carries nothing and purging never needs Qt's per-type removal.
QEvent::Type WakeEventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool InRange(uint32_t msg, uint32_t first, uint32_t last) { return msg >= first && msg <= last; }

int CountInRange(const std::deque<TMessage>& queue, uint32_t first, uint32_t last)
{
    return static_cast<int>(std::count_if(queue.begin(), queue.end(),
                                          [&](const TMessage& m) { return InRange(m.msg, first, last); }));
}

void EraseRange(std::deque<TMessage>& queue, uint32_t first, uint32_t last)
{
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [&](const TMessage& m) { return InRange(m.msg, first, last); }),
                queue.end());
}

} // namespace

// ---------------------------------------------------------------------------
// TMessageWindow

TMessageWindow::TMessageWindow(Handler handler) : FHandler(std::move(handler)) {}

TMessageWindow::~TMessageWindow()
{
    // QObject's destructor drops the wake-up events still posted to this object.
    std::lock_guard<std::mutex> lock(FMutex);
    FQueue.clear();
}

void TMessageWindow::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FQueue.push_back(TMessage{msg, wParam, lParam});
    }
    // One wake-up per message: a nested message loop inside a handler still
    // delivers the messages posted meanwhile. Surplus wake-ups (after a purge)
    // find an empty queue and do nothing.
    QCoreApplication::postEvent(this, new QEvent(WakeEventType()));
}

void TMessageWindow::Purge(uint32_t firstMsg, uint32_t lastMsg)
{
    std::lock_guard<std::mutex> lock(FMutex);
    EraseRange(FQueue, firstMsg, lastMsg);
}

int TMessageWindow::PendingCount(uint32_t firstMsg, uint32_t lastMsg) const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return CountInRange(FQueue, firstMsg, lastMsg);
}

bool TMessageWindow::DeliverOne()
{
    TMessage m;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (FQueue.empty())
            return false;
        m = FQueue.front();
        FQueue.pop_front();
    }
    if (FHandler)
        GuardedCall([&] { FHandler(m.msg, m.wParam, m.lParam); });
    return true;
}

int TMessageWindow::DeliverPending()
{
    size_t count;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        count = FQueue.size();
    }
    int delivered = 0;
    // Only what was queued on entry: a handler that posts again cannot loop here.
    while (count-- > 0 && DeliverOne())
        ++delivered;
    return delivered;
}

bool TMessageWindow::event(QEvent* e)
{
    if (e->type() == WakeEventType()) {
        DeliverOne();
        return true;
    }
    return QObject::event(e);
}

// ---------------------------------------------------------------------------
// Waits

bool IsMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void ProcessMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool WaitWithMessages(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        ProcessMessages();
        if (done())
            return true;
        if (Clock::now() >= deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool WaitSleeping(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (done())
            return true;
        if (Clock::now() >= deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---------------------------------------------------------------------------
// TAutoResetEvent

void TAutoResetEvent::Set()
{
    std::vector<std::shared_ptr<TWaitNotifier>> notifiers;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FSignaled = true;
        notifiers = FNotifiers;
    }
    FCond.notify_one();
    // Outside our own lock: a waiter holds its notifier's lock while it tests us.
    for (auto& n : notifiers) {
        { std::lock_guard<std::mutex> lock(n->mutex); }
        n->cond.notify_all();
    }
}

bool TAutoResetEvent::Wait(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(FMutex);
    if (timeoutMs < 0)
        FCond.wait(lock, [&] { return FSignaled; });
    else if (!FCond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return FSignaled; }))
        return false;
    FSignaled = false;
    return true;
}

bool TAutoResetEvent::TryWait()
{
    std::lock_guard<std::mutex> lock(FMutex);
    const bool was = FSignaled;
    FSignaled = false;
    return was;
}

void TAutoResetEvent::Attach(const std::shared_ptr<TWaitNotifier>& notifier)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FNotifiers.push_back(notifier);
}

void TAutoResetEvent::Detach(const std::shared_ptr<TWaitNotifier>& notifier)
{
    std::lock_guard<std::mutex> lock(FMutex);
    auto it = std::find(FNotifiers.begin(), FNotifiers.end(), notifier);
    if (it != FNotifiers.end())
        FNotifiers.erase(it);
}

// ---------------------------------------------------------------------------
// TMessageQueue

TMessageQueue::TMessageQueue() : FNotifier(std::make_shared<TWaitNotifier>()) {}

void TMessageQueue::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    {
        std::lock_guard<std::mutex> lock(FNotifier->mutex);
        FQueue.push_back(TMessage{msg, wParam, lParam});
    }
    FNotifier->cond.notify_all();
}

bool TMessageQueue::Peek(TMessage& m)
{
    std::lock_guard<std::mutex> lock(FNotifier->mutex);
    if (FQueue.empty())
        return false;
    m = FQueue.front();
    FQueue.pop_front();
    return true;
}

bool TMessageQueue::Get(TMessage& m, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(FNotifier->mutex);
    auto ready = [&] { return !FQueue.empty(); };
    if (timeoutMs < 0)
        FNotifier->cond.wait(lock, ready);
    else if (!FNotifier->cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return false;
    m = FQueue.front();
    FQueue.pop_front();
    return true;
}

TMessageQueue::TWaitResult TMessageQueue::WaitFor(TAutoResetEvent& event, int timeoutMs)
{
    event.Attach(FNotifier);
    TWaitResult result = wrTimeout;
    {
        std::unique_lock<std::mutex> lock(FNotifier->mutex);
        auto test = [&] {
            if (event.TryWait()) {
                result = wrEvent;
                return true;
            }
            if (!FQueue.empty()) {
                result = wrMessage;
                return true;
            }
            return false;
        };
        if (timeoutMs < 0)
            FNotifier->cond.wait(lock, test);
        else
            FNotifier->cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), test);
    }
    event.Detach(FNotifier);
    return result;
}

void TMessageQueue::Purge(uint32_t firstMsg, uint32_t lastMsg)
{
    std::lock_guard<std::mutex> lock(FNotifier->mutex);
    EraseRange(FQueue, firstMsg, lastMsg);
}

int TMessageQueue::PendingCount(uint32_t firstMsg, uint32_t lastMsg) const
{
    std::lock_guard<std::mutex> lock(FNotifier->mutex);
    return CountInRange(FQueue, firstMsg, lastMsg);
}

// ---------------------------------------------------------------------------
// TMessageThread

TMessageThread::TMessageThread(Body body) : FBody(std::move(body)) {}

TMessageThread::~TMessageThread()
{
    Terminate();
    if (FThread.joinable()) {
        if (FThread.get_id() == std::this_thread::get_id())
            FThread.detach();
        else
            FThread.join();
    }
}

void TMessageThread::Start()
{
    if (FThread.joinable())
        return;
    FThread = std::thread([this] { FBody(*this); });
}

void TMessageThread::Terminate()
{
    FTerminated = true;
    FQueue.Post(WM_QUIT);
}

void TMessageThread::Join()
{
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

bool TMessageThread::IsCurrentThread() const { return FThread.get_id() == std::this_thread::get_id(); }

bool RaiseThreadPriority()
{
    // Normal threads share one static priority under the default policy; the
    // nice value of this thread alone is what "above normal" can mean here.
    const pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
    const int current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current - 1) == 0;
}

} // namespace qv
