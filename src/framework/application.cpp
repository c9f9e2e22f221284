#include "framework/application.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QWidget>
#include <cstdio>

#include "framework/exceptions.h"
#include "framework/forms.h"

namespace qv {

namespace {

TApplication* gApplication = nullptr;

// Qt must never see an exception leave an event handler; whatever slips past
// a component's own guard ends here and is shown by the top-level handler.
class TGuardedQApplication : public QApplication {
public:
    TGuardedQApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            qv::HandleException(std::current_exception());
            return false;
        }
    }
};

} // namespace

TApplication* Application() { return gApplication; }

TApplication::TApplication(int& argc, char** argv, TMessageBoxProc messageBox)
    : FOwnedApp(std::make_unique<TGuardedQApplication>(argc, argv)), FMessageBox(std::move(messageBox))
{
    Install();
}

TApplication::TApplication(TMessageBoxProc messageBox) : FMessageBox(std::move(messageBox))
{
    if (!QApplication::instance())
        throw Exception("The application object needs a QApplication");
    Install();
}

void TApplication::Install()
{
    SetName("Application");
    FContext = std::make_unique<QObject>();
    // Windows come and go (message boxes, the main form); only Terminate ends Run.
    QApplication::setQuitOnLastWindowClosed(false);
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(FContext->thread()))
        QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, FContext.get(), [this] { Idle(); });
    FPreviousHandler = SetExceptionHandler([this](std::exception_ptr e) { HandleException(e); });
    gApplication = this;
}

TApplication::~TApplication()
{
    SetExceptionHandler(std::move(FPreviousHandler));
    if (gApplication == this)
        gApplication = nullptr;
    // The forms are widgets: they must go while the QApplication still exists.
    while (ComponentCount() > 0)
        delete Components(ComponentCount() - 1);
    FContext.reset();
    FOwnedApp.reset();
}

void TApplication::SetTitle(const std::string& title)
{
    FTitle = title;
    QCoreApplication::setApplicationName(QString::fromStdString(title));
}

void TApplication::AddForm(TComponent* form)
{
    if (!form)
        return;
    InsertComponent(form);
    if (!FMainForm)
        if (QObject* o = form->AsQObject())
            if (auto* w = qobject_cast<QWidget*>(o))
                FMainForm = w;
}

void TApplication::Run()
{
    if (FMainForm && !FTerminated) {
        // A form places itself on the screen as it is shown.
        if (auto* form = qobject_cast<TForm*>(FMainForm.data()))
            form->Show();
        else
            FMainForm->show();
    }
    if (!FTerminated)
        QApplication::exec();
    FTerminated = true;
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TApplication::Terminate()
{
    FTerminated = true;
    QCoreApplication::quit();
}

void TApplication::HandleMessage()
{
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(FContext->thread());
    if (!d || !d->processEvents(QEventLoop::AllEvents))
        RunIdle();
}

bool TApplication::RunIdle()
{
    if (FInIdle)
        return true; // a modal box inside the idle handler runs its own loop
    FInIdle = true;
    ++FIdleCount;
    bool done = true;
    if (OnIdle)
        GuardedCall([&] { OnIdle(this, done); });
    FInIdle = false;
    return done;
}

void TApplication::Idle()
{
    if (!RunIdle())
        if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(FContext->thread()))
            d->wakeUp();
}

void TApplication::HandleException(std::exception_ptr e)
{
    if (QThread::currentThread() != FContext->thread()) {
        // Boxes belong to the main thread; the call is dropped if this object
        // is gone before the main thread gets to it.
        QMetaObject::invokeMethod(FContext.get(), [this, e] { HandleException(e); }, Qt::QueuedConnection);
        return;
    }
    try {
        if (OnException)
            OnException(this, e);
        else
            ShowException(e);
    } catch (...) {
        std::string text;
        std::fprintf(stderr, "%s\n", ExceptionText(std::current_exception(), text));
    }
}

void TApplication::ShowException(std::exception_ptr e)
{
    std::string text;
    ExceptionText(e, text);
    MessageBox(text, FTitle);
}

void TApplication::MessageBox(const std::string& text, const std::string& caption)
{
    if (FMessageBox)
        FMessageBox(text, caption);
    else
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

} // namespace qv
