#include "chain/application_hooks.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QWidget> // application.h holds a QPointer<QWidget>

#include "framework/application.h"
#include "framework/exception_handler.h"
#include "platform/message_window.h"

namespace qv {

namespace {

// The idle event slot used while the process has no application object.
TMMIdleEvent& DefaultIdleEvent()
{
    static TMMIdleEvent event;
    return event;
}

void DefaultHandleMessage()
{
    QCoreApplication* app = QCoreApplication::instance();
    QAbstractEventDispatcher* dispatcher = app ? QAbstractEventDispatcher::instance(app->thread()) : nullptr;
    // Without a waiting message the idle processing runs instead.
    if (!dispatcher || !dispatcher->processEvents(QEventLoop::AllEvents))
        RunMMApplicationIdle();
}

// The application object when there is one, else the plain event loop and a
// slot of our own for the idle event.
TMMApplicationHooks Defaults()
{
    TMMApplicationHooks h;
    h.ProcessMessages = [] {
        if (TApplication* a = Application())
            a->ProcessMessages();
        else
            ProcessMessages();
    };
    h.HandleMessage = DefaultHandleMessage;
    h.Terminated = [] {
        if (TApplication* a = Application())
            if (a->Terminated())
                return true;
        return !QCoreApplication::instance() || QCoreApplication::closingDown();
    };
    h.IdleEventAssigned = [] {
        if (TApplication* a = Application())
            return static_cast<bool>(a->OnIdle);
        return static_cast<bool>(DefaultIdleEvent());
    };
    h.SetIdleEvent = [](TMMIdleEvent e) {
        if (TApplication* a = Application())
            a->OnIdle = std::move(e);
        else
            DefaultIdleEvent() = std::move(e);
    };
    return h;
}

TMMApplicationHooks& Hooks()
{
    static TMMApplicationHooks hooks = Defaults();
    return hooks;
}

} // namespace

void SetMMApplicationHooks(const TMMApplicationHooks& h)
{
    TMMApplicationHooks merged = Defaults();
    if (h.ProcessMessages)
        merged.ProcessMessages = h.ProcessMessages;
    if (h.HandleMessage)
        merged.HandleMessage = h.HandleMessage;
    if (h.Terminated)
        merged.Terminated = h.Terminated;
    if (h.IdleEventAssigned)
        merged.IdleEventAssigned = h.IdleEventAssigned;
    if (h.SetIdleEvent)
        merged.SetIdleEvent = h.SetIdleEvent;
    Hooks() = std::move(merged);
}

void ResetMMApplicationHooks() { Hooks() = Defaults(); }

const TMMApplicationHooks& MMApplicationHooks() { return Hooks(); }

bool RunMMApplicationIdle()
{
    bool done = true;
    TApplication* a = Application();
    // A copy: the event may replace itself while it runs.
    if (TMMIdleEvent e = a ? a->OnIdle : DefaultIdleEvent())
        GuardedCall([&] { e(a, done); });
    return done;
}

} // namespace qv
