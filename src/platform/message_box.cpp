#include "platform/message_box.h"

#include <QMessageBox>
#include <QString>
#include <mutex>

namespace qv {

namespace {
std::mutex gHookLock;
TMessageBoxHook& Hook()
{
    static TMessageBoxHook hook;
    return hook;
}
} // namespace

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook)
{
    std::lock_guard<std::mutex> lock(gHookLock);
    TMessageBoxHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

void ShowMessageBox(const std::string& text, const std::string& caption)
{
    TMessageBoxHook hook;
    {
        std::lock_guard<std::mutex> lock(gHookLock);
        hook = Hook();
    }
    if (hook) {
        hook(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
}

} // namespace qv
