#pragma once
// The application services the connector's pump uses: handling all queued
// messages, handling one message (running the idle processing when none
// waits), the terminating flag, and the application's idle event. By default
// they go to the application object (qv::Application()) when one exists, else
// to the plain event loop with an idle event slot of their own; tests and
// embedders may replace them.
#include <functional>

#include "framework/component.h"

namespace qv {

// (Sender, Done): leaving Done false asks to be called again without waiting
// for a new message.
using TMMIdleEvent = std::function<void(TComponent* Sender, bool& Done)>;

struct TMMApplicationHooks {
    std::function<void()> ProcessMessages;            // handle every queued message
    std::function<void()> HandleMessage;              // one message, or the idle processing
    std::function<bool()> Terminated;                 // the application is shutting down
    std::function<bool()> IdleEventAssigned;          // the application's idle event is set
    std::function<void(TMMIdleEvent)> SetIdleEvent;   // an empty function clears it
};

// Replaces the services; members left empty keep their defaults.
void SetMMApplicationHooks(const TMMApplicationHooks& Hooks);
// Back to the defaults.
void ResetMMApplicationHooks();
const TMMApplicationHooks& MMApplicationHooks();

// The default idle processing: runs the idle event of the default slot once;
// returns its Done answer (true when no event is set).
bool RunMMApplicationIdle();

} // namespace qv
