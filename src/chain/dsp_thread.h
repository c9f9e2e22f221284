#pragma once
// A worker thread that serves one chain component. It is created suspended,
// runs its body once resumed, and belongs to a class-wide list of DSP threads
// from creation to destruction. The body is supplied by a derived class.
#include <atomic>
#include <cstddef>
#include <mutex>
#include <thread>

namespace qv {

class TMMDSPComponent;

class TMMDSPThread {
public:
    // Created suspended, with the component it serves.
    explicit TMMDSPThread(TMMDSPComponent* Owner);
    // Terminates and waits for a running body (unless called from the thread
    // itself). A derived class whose body uses its own members must stop the
    // thread in its own destructor (Terminate(); WaitFor();), since those
    // members are gone by the time this destructor runs.
    virtual ~TMMDSPThread();
    TMMDSPThread(const TMMDSPThread&) = delete;
    TMMDSPThread& operator=(const TMMDSPThread&) = delete;

    // Starts the body; later calls do nothing.
    void Resume();
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }
    // True once the body has returned.
    bool Finished() const { return FFinished.load(); }
    // Waits for the body to return; not from the thread itself.
    void WaitFor();
    // When set, the object deletes itself on its own thread after the body
    // returns; nobody else may delete it then.
    void SetFreeOnTerminate(bool Value) { FFreeOnTerminate.store(Value); }
    bool FreeOnTerminate() const { return FFreeOnTerminate.load(); }
    bool IsCurrentThread() const { return std::this_thread::get_id() == FThreadId.load(); }
    TMMDSPComponent* Owner() const { return FOwner; }

    // Number of DSP threads that exist, and whether Thread is one of them.
    static size_t ThreadCount();
    static bool Exists(const TMMDSPThread* Thread);

protected:
    // The thread body. An exception leaving it goes to the top-level handler.
    virtual void Execute() = 0;

private:
    void Run();

    TMMDSPComponent* FOwner;
    std::thread FThread;
    std::atomic<std::thread::id> FThreadId{};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FFreeOnTerminate{false};
    bool FResumed = false;
    std::mutex FStartLock; // the body waits until Resume has stored the thread
};

} // namespace qv
