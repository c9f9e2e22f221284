#pragma once
// The top-level exception handler. Qt's event loop must never see an exception,
// so every event handler, device notification and private message handler
// catches and passes what it caught here. The application object installs a
// handler that shows the text in a message box; the program goes on.
#include <exception>
#include <functional>
#include <string>

namespace qv {

using TExceptionHandler = std::function<void(std::exception_ptr)>;

// Replaces the handler; returns the previous one. A null handler restores the
// default, which writes the message to stderr.
TExceptionHandler SetExceptionHandler(TExceptionHandler handler);
// Passes the exception to the installed handler; never throws.
void HandleException(std::exception_ptr e) noexcept;
// The message text of an exception (qv::Exception, std::exception or unknown).
const char* ExceptionText(std::exception_ptr e, std::string& storage);

// Runs f and hands anything it throws to HandleException.
template <typename F> void GuardedCall(F&& f) noexcept
{
    try {
        f();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

} // namespace qv
