#pragma once
// TForm: a top-level window built from its stored description. A concrete form
// names its event handlers as methods (DefineMethod) so that the description
// can assign them by name, reads its description once constructed, and then
// finds its components by name.
#include <QString>
#include <any>
#include <map>
#include <string>

#include "framework/control.h"
#include "framework/description_parser.h"

namespace qv {

enum TPosition : int32_t {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
enum TCloseAction : int32_t { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TComponent* Sender, TCloseAction& Action)>;

class TForm : public TControl {
    Q_OBJECT
    Q_PROPERTY(int32_t ClientWidth READ ClientWidth WRITE SetClientWidth)
    Q_PROPERTY(int32_t ClientHeight READ ClientHeight WRITE SetClientHeight)
    Q_PROPERTY(qv::TPosition Position READ Position WRITE SetPosition)
    Q_PROPERTY(qv::TControl* ActiveControl READ ActiveControl WRITE SetActiveControl)
public:
    // A form starts hidden, clBtnFace, 320 x 240.
    explicit TForm(TComponent* AOwner = nullptr);
    ~TForm() override;

    // Reads a stored description into this form (see description_reader.h).
    void ReadDescription(const std::string& text);
    // The same for a description compiled in as a Qt resource.
    void ReadDescriptionResource(const QString& path);
    // The handler defined under a method name; null when there is none.
    const std::any* MethodAddress(const std::string& name) const;

    // The window's inner size (the window system adds its frame around it).
    void SetClientWidth(int32_t v) { SetWidth(v); }
    void SetClientHeight(int32_t v) { SetHeight(v); }
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition v) { FPosition = v; }
    // The control that takes the keyboard focus when the form is shown.
    TControl* ActiveControl() const { return FActiveControl; }
    void SetActiveControl(TControl* v);

    // Shows the window (placed as Position says the first time).
    void Show() { SetVisible(true); }
    // Asks to close: OnClose decides (caNone keeps the window open).
    void Close() { QWidget::close(); }
    void SetVisible(bool v) override;

    TCloseEvent OnClose;
    TNotifyEvent OnShow;
    bool SetEvent(const std::string& Name, const std::any& Handler) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    // Makes a handler assignable by name; F must be the exact std::function
    // type of the events it is meant for (TNotifyEvent for clicks...).
    template <typename F> void DefineMethod(const std::string& name, F handler)
    {
        FMethods[name] = std::any(std::move(handler));
    }
    // The component of that name and class, or EReadError naming what is missing.
    template <typename T> T* FindRequired(const std::string& name) const
    {
        T* c = dynamic_cast<T*>(FindComponent(name));
        if (!c)
            throw EReadError("the stored description of " + ClassName() + " lacks component '" + name + "'");
        return c;
    }

    void Paint() override;
    void TextChanged() override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void PlaceOnScreen();

    std::map<std::string, std::any> FMethods;
    TPosition FPosition = poDesigned;
    TControl* FActiveControl = nullptr;
    bool FPlaced = false;
};

} // namespace qv
