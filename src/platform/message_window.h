#pragma once
// Posted messages in the main thread, waits that keep the message loop running,
// auto-reset events, critical sections, and message queues for worker threads.
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

// One posted message: (msg, wParam, lParam).
struct TMessage {
    uint32_t msg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// A hidden message window living in the main thread. Post() is thread-safe and
// delivers (msg, wParam, lParam) to the handler in the main thread via
// QCoreApplication::postEvent; exceptions thrown by the handler are caught and
// passed to qv::HandleException (src/framework/exception_handler.h).
class TMessageWindow : public QObject {
public:
    using Handler = std::function<void(uint32_t msg, uintptr_t wParam, intptr_t lParam)>;
    explicit TMessageWindow(Handler handler); // must be created in the main thread
    ~TMessageWindow() override;               // pending messages are discarded
    TMessageWindow(const TMessageWindow&) = delete;
    TMessageWindow& operator=(const TMessageWindow&) = delete;

    void Post(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Removes queued messages whose number lies in firstMsg..lastMsg (inclusive).
    void Purge(uint32_t firstMsg, uint32_t lastMsg);
    int PendingCount(uint32_t firstMsg, uint32_t lastMsg) const;

    // Delivers queued messages of this window now, in order, without touching any
    // other object's events. Returns the number delivered.
    int DeliverPending();

protected:
    bool event(QEvent* e) override;

private:
    bool DeliverOne();

    Handler FHandler;
    mutable std::mutex FMutex;
    std::deque<TMessage> FQueue;
};

// QCoreApplication::processEvents once (all pending posted events).
void ProcessMessages();
// Runs the message loop until done() is true or timeoutMs passes; returns done().
bool WaitWithMessages(const std::function<bool()>& done, int timeoutMs);
// Sleeps until done() is true or timeoutMs passes, without running the message
// loop; returns done().
bool WaitSleeping(const std::function<bool()>& done, int timeoutMs);
// True on the thread that runs the application's event loop.
bool IsMainThread();

// Lets a waiter sleep on several objects at once (see TMessageQueue::WaitFor).
struct TWaitNotifier {
    std::mutex mutex;
    std::condition_variable cond;
};

// An auto-reset event: Set() releases one waiter (or the next Wait) and resets.
class TAutoResetEvent {
public:
    TAutoResetEvent() = default;
    TAutoResetEvent(const TAutoResetEvent&) = delete;
    TAutoResetEvent& operator=(const TAutoResetEvent&) = delete;

    void Set();
    // Returns true when the event was set (and resets it); false after the time-out.
    bool Wait(int timeoutMs /* -1 = forever */);
    // Takes the signal when it is set; never blocks.
    bool TryWait();

    void Attach(const std::shared_ptr<TWaitNotifier>& notifier);
    void Detach(const std::shared_ptr<TWaitNotifier>& notifier);

private:
    std::mutex FMutex;
    std::condition_variable FCond;
    bool FSignaled = false;
    std::vector<std::shared_ptr<TWaitNotifier>> FNotifiers;
};

using TCriticalSection = std::recursive_mutex;

// A thread's message queue: PostThreadMessage / PeekMessage / GetMessage.
class TMessageQueue {
public:
    TMessageQueue();
    TMessageQueue(const TMessageQueue&) = delete;
    TMessageQueue& operator=(const TMessageQueue&) = delete;

    void Post(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Takes the oldest message when there is one.
    bool Peek(TMessage& m);
    // Blocks until a message arrives or timeoutMs passes (-1 = forever).
    bool Get(TMessage& m, int timeoutMs = -1);
    enum TWaitResult { wrEvent, wrMessage, wrTimeout };
    // Waits until a message is queued (it is left queued) or the event is set
    // (the event is reset); the event is tested first.
    TWaitResult WaitFor(TAutoResetEvent& event, int timeoutMs = -1);
    void Purge(uint32_t firstMsg, uint32_t lastMsg);
    int PendingCount(uint32_t firstMsg, uint32_t lastMsg) const;

private:
    std::shared_ptr<TWaitNotifier> FNotifier; // its mutex guards FQueue
    std::deque<TMessage> FQueue;
};

// A thread with a message queue. The body runs on the new thread once Start()
// is called and gets the thread object; Terminated() tells it to finish.
class TMessageThread {
public:
    using Body = std::function<void(TMessageThread& thread)>;
    explicit TMessageThread(Body body);
    // Sets Terminated, wakes the body through a quit message and joins.
    ~TMessageThread();
    TMessageThread(const TMessageThread&) = delete;
    TMessageThread& operator=(const TMessageThread&) = delete;

    void Start();
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    // Waits for the body to return (not from the thread itself).
    void Join();
    bool IsCurrentThread() const;
    TMessageQueue& Queue() { return FQueue; }
    void Post(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0) { FQueue.Post(msg, wParam, lParam); }

    // Message number used to wake a thread that waits on its queue for Terminate().
    static constexpr uint32_t WM_QUIT = 0x0012;

private:
    Body FBody;
    TMessageQueue FQueue;
    std::atomic<bool> FTerminated{false};
    std::thread FThread;
};

// Raises the calling thread's priority above normal when the system allows it;
// returns false otherwise (an unprivileged process cannot, which is harmless).
bool RaiseThreadPriority();

} // namespace qv
