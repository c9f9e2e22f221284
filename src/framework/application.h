#pragma once
// The application object: wraps QApplication with the run loop, message
// processing, the terminated flag, the idle event, the title and the top-level
// exception handler that shows an exception's text in a message box and lets
// the program go on.
#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "framework/component.h"
#include "framework/exception_handler.h"

class QApplication;
class QObject;

namespace qv {

// Shows a modal box with a text and a caption. The program passes the one
// message-box service of the platform layer; tests pass a recorder.
using TMessageBoxProc = std::function<void(const std::string& text, const std::string& caption)>;
using TIdleEvent = std::function<void(TComponent* Sender, bool& Done)>;
using TExceptionEvent = std::function<void(TComponent* Sender, std::exception_ptr E)>;

class TApplication : public TComponent {
public:
    // Creates the process's QApplication; its event dispatch hands any exception
    // that escapes an event handler to the top-level handler.
    TApplication(int& argc, char** argv, TMessageBoxProc messageBox);
    // Uses the QApplication that already exists (tests create their own).
    explicit TApplication(TMessageBoxProc messageBox);
    // Frees the forms it owns, then the QApplication it created.
    ~TApplication() override;

    // The application title: caption of the message boxes it shows.
    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& title);

    // The window whose closing ends Run. The first form added becomes it.
    QWidget* MainForm() const { return FMainForm.data(); }
    void SetMainForm(QWidget* form) { FMainForm = form; }
    // Takes ownership of a form created by the caller; the first one becomes
    // the main form.
    void AddForm(TComponent* form);

    // Shows the main form and runs the event loop until Terminate.
    void Run();
    // Processes the pending events once and returns.
    void ProcessMessages();
    // Processes what is waiting; when nothing is, runs the idle event once.
    // Never waits.
    void HandleMessage();
    // Ends Run (after the current event); may be called before Run.
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // The top-level handler: OnException when set, otherwise ShowException.
    // Safe from any thread: the box is shown in the main thread.
    void HandleException(std::exception_ptr e);
    // Shows the exception's text in a message box captioned with the title.
    void ShowException(std::exception_ptr e);
    // Shows a text through the message-box service (main thread only).
    void MessageBox(const std::string& text, const std::string& caption);

    // Called each time the event loop has nothing left to do; leaving Done
    // false asks to be called again without waiting for new events.
    TIdleEvent OnIdle;
    // Replaces the message box for exceptions when set.
    TExceptionEvent OnException;

    // How many times the idle event ran (lets tests wait for idleness).
    uint64_t IdleCount() const { return FIdleCount; }

private:
    void Install();
    // The idle event once; returns its Done answer.
    bool RunIdle();
    void Idle();

    std::unique_ptr<QApplication> FOwnedApp;
    std::unique_ptr<QObject> FContext; // receiver of queued calls; dies with this object
    TMessageBoxProc FMessageBox;
    std::string FTitle;
    QPointer<QWidget> FMainForm;
    bool FTerminated = false;
    bool FInIdle = false;
    uint64_t FIdleCount = 0;
    TExceptionHandler FPreviousHandler;
};

// The one application object of the process; null when there is none.
TApplication* Application();

} // namespace qv
