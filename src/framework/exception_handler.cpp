#include "framework/exception_handler.h"

#include <cstdio>
#include <mutex>

#include "framework/exceptions.h"

namespace qv {

namespace {
std::mutex gLock;
TExceptionHandler& Handler()
{
    static TExceptionHandler handler;
    return handler;
}
} // namespace

const char* ExceptionText(std::exception_ptr e, std::string& storage)
{
    try {
        if (e)
            std::rethrow_exception(e);
        storage = "Unknown error";
    } catch (const std::exception& ex) {
        storage = ex.what();
    } catch (...) {
        storage = "Unknown error";
    }
    return storage.c_str();
}

TExceptionHandler SetExceptionHandler(TExceptionHandler handler)
{
    std::lock_guard<std::mutex> lock(gLock);
    TExceptionHandler old = std::move(Handler());
    Handler() = std::move(handler);
    return old;
}

void HandleException(std::exception_ptr e) noexcept
{
    TExceptionHandler h;
    {
        std::lock_guard<std::mutex> lock(gLock);
        h = Handler();
    }
    try {
        if (h) {
            h(e);
            return;
        }
    } catch (...) {
        // A failing handler must not take the program down; fall through to stderr.
    }
    std::string text;
    std::fprintf(stderr, "%s\n", ExceptionText(e, text));
}

} // namespace qv
