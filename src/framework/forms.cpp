#include "framework/forms.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "framework/application.h"
#include "framework/description_reader.h"
#include "framework/exception_handler.h"

namespace qv {

TForm::TForm(TComponent* AOwner) : TControl(AOwner)
{
    SetVisible(false);
    SetColor(clBtnFace);
    SetBounds(0, 0, 320, 240);
    SetOpaque(true);
}

TForm::~TForm() = default;

void TForm::ReadDescription(const std::string& text)
{
    qv::ReadDescription(this, text, [this](const std::string& name) { return MethodAddress(name); });
}

void TForm::ReadDescriptionResource(const QString& path) { ReadDescription(LoadDescriptionResource(path)); }

const std::any* TForm::MethodAddress(const std::string& name) const
{
    auto it = FMethods.find(name);
    return it == FMethods.end() ? nullptr : &it->second;
}

void TForm::SetActiveControl(TControl* v)
{
    if (v == FActiveControl)
        return;
    FActiveControl = v;
    if (v) {
        v->FreeNotification(this);
        if (isVisible() && !IsLoading())
            v->setFocus(Qt::OtherFocusReason);
    }
}

void TForm::Notification(TComponent* AComponent, TOperation Operation)
{
    TControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FActiveControl)
        FActiveControl = nullptr;
}

bool TForm::SetEvent(const std::string& Name, const std::any& Handler)
{
    if (Name == "OnClose")
        return AssignEvent(OnClose, Handler);
    if (Name == "OnShow")
        return AssignEvent(OnShow, Handler);
    return TControl::SetEvent(Name, Handler);
}

void TForm::SetVisible(bool v)
{
    if (v && !FPlaced) {
        FPlaced = true;
        PlaceOnScreen();
    }
    TControl::SetVisible(v);
    // Showing a top-level window is the form's own business.
    if (v && !Parent())
        QWidget::setVisible(true);
}

void TForm::PlaceOnScreen()
{
    if (FPosition != poScreenCenter && FPosition != poDesktopCenter && FPosition != poMainFormCenter &&
        FPosition != poOwnerFormCenter)
        return;
    QRect area;
    QWidget* main = Application() ? Application()->MainForm() : nullptr;
    if ((FPosition == poMainFormCenter || FPosition == poOwnerFormCenter) && main && main != this &&
        main->isVisible()) {
        area = main->geometry();
    } else if (QScreen* s = QGuiApplication::primaryScreen()) {
        area = FPosition == poDesktopCenter ? s->availableGeometry() : s->geometry();
    } else {
        return;
    }
    SetBounds(area.x() + (area.width() - Width()) / 2, area.y() + (area.height() - Height()) / 2, Width(),
              Height());
}

void TForm::Paint()
{
    Canvas()->Brush().SetColor(Color());
    Canvas()->Brush().SetStyle(bsSolid);
    Canvas()->FillRect(ClientRect());
}

void TForm::TextChanged()
{
    setWindowTitle(Caption());
    TControl::TextChanged();
}

void TForm::showEvent(QShowEvent* e)
{
    TControl::showEvent(e);
    if (e->spontaneous())
        return;
    if (FActiveControl)
        FActiveControl->setFocus(Qt::OtherFocusReason);
    GuardedCall([this] {
        if (OnShow)
            OnShow(this);
    });
}

void TForm::closeEvent(QCloseEvent* e)
{
    TCloseAction action = caHide;
    GuardedCall([&] {
        if (OnClose)
            OnClose(this, action);
    });
    if (action == caNone) {
        e->ignore();
        return;
    }
    if (action == caMinimize) {
        e->ignore();
        showMinimized();
        return;
    }
    e->accept();
    TControl::SetVisible(false);
    // The program ends with its main window, whatever else is still open.
    if (TApplication* app = Application())
        if (app->MainForm() == this)
            app->Terminate();
    if (action == caFree)
        deleteLater();
}

} // namespace qv
