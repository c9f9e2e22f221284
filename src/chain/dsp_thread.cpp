#include "chain/dsp_thread.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "framework/exception_handler.h"

namespace qv {

namespace {
std::mutex gThreadsLock;
std::vector<const TMMDSPThread*>& ThreadList()
{
    static std::vector<const TMMDSPThread*> list;
    return list;
}
} // namespace

TMMDSPThread::TMMDSPThread(TMMDSPComponent* Owner) : FOwner(Owner)
{
    std::lock_guard<std::mutex> lock(gThreadsLock);
    ThreadList().push_back(this);
}

TMMDSPThread::~TMMDSPThread()
{
    Terminate();
    if (FThread.joinable()) {
        if (FThread.get_id() == std::this_thread::get_id())
            FThread.detach(); // freeing itself at the end of its body
        else
            FThread.join();
    }
    std::lock_guard<std::mutex> lock(gThreadsLock);
    auto& list = ThreadList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TMMDSPThread::Resume()
{
    if (FResumed)
        return;
    FResumed = true;
    std::lock_guard<std::mutex> lock(FStartLock);
    FThread = std::thread([this] { Run(); });
    FThreadId.store(FThread.get_id());
}

void TMMDSPThread::Run()
{
    {
        std::lock_guard<std::mutex> lock(FStartLock);
        FThreadId.store(std::this_thread::get_id());
    }
    GuardedCall([this] { Execute(); });
    FFinished.store(true);
    if (FFreeOnTerminate.load())
        delete this;
}

void TMMDSPThread::WaitFor()
{
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

size_t TMMDSPThread::ThreadCount()
{
    std::lock_guard<std::mutex> lock(gThreadsLock);
    return ThreadList().size();
}

bool TMMDSPThread::Exists(const TMMDSPThread* Thread)
{
    std::lock_guard<std::mutex> lock(gThreadsLock);
    const auto& list = ThreadList();
    return std::find(list.begin(), list.end(), Thread) != list.end();
}

} // namespace qv
