#pragma once
// The framework's standard controls: panel, label, combo box and timer.
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "framework/control.h"

class QComboBox;
class QTimer;

namespace qv {

// Draws Width rings inside R, top-left lines in TopColor and bottom-right lines
// in BottomColor, shrinking R by one per ring (the classic 3D frame).
void Frame3D(TCanvas& Canvas, TRect& R, TColor TopColor, TColor BottomColor, int32_t Width);

// A container with a raised or lowered frame and an optional centred caption.
// Aligned children share the area inside the frame.
class TPanel : public TControl {
    Q_OBJECT
    Q_PROPERTY(qv::TBevelCut BevelInner READ BevelInner WRITE SetBevelInner)
    Q_PROPERTY(qv::TBevelCut BevelOuter READ BevelOuter WRITE SetBevelOuter)
    Q_PROPERTY(int32_t BevelWidth READ BevelWidth WRITE SetBevelWidth)
    Q_PROPERTY(int32_t BorderWidth READ BorderWidth WRITE SetBorderWidth)
    Q_PROPERTY(qv::TAlignment Alignment READ Alignment WRITE SetAlignment)
public:
    // 185 x 41, clBtnFace, raised outer bevel of width 1, caption centred.
    explicit TPanel(TComponent* AOwner = nullptr);

    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut v);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut v);
    // At least 1.
    int32_t BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int32_t v);
    // At least 0.
    int32_t BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int32_t v);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment v);

    // The width of the frame on each side.
    int32_t FrameWidth() const;
    // Aligns the children inside the frame.
    void AlignControls(TRect R) override;

protected:
    void Paint() override;

private:
    void FrameChanged();

    TBevelCut FBevelInner = bvNone;
    TBevelCut FBevelOuter = bvRaised;
    int32_t FBevelWidth = 1;
    int32_t FBorderWidth = 0;
    TAlignment FAlignment = taCenter;
};

// A line of text in the control's font colour; sized to its text while AutoSize.
class TLabel : public TControl {
    Q_OBJECT
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(qv::TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
public:
    // 65 x 17, AutoSize on, left-justified, opaque in the parent's colour.
    explicit TLabel(TComponent* AOwner = nullptr);

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment v);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v);

    void Loaded() override;

protected:
    void Paint() override;
    void TextChanged() override;
    void FontChanged() override;

private:
    // Fits the size to the caption's extent, keeping the anchored edge.
    void AdjustBounds();

    bool FAutoSize = true;
    TAlignment FAlignment = taLeftJustify;
    bool FTransparent = false;
};

enum TComboBoxStyle : int32_t { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

// A drop-down list of strings over a QComboBox that fills the control. OnChange
// fires when the user picks another item (or edits the text), not when the
// program sets ItemIndex or Text. A descendant that draws the box itself
// returns true from OwnerPaints and paints in Paint as any control does.
class TComboBox : public TControl {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(int32_t ItemIndex READ ItemIndex WRITE SetItemIndex)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(qv::TComboBoxStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(int32_t DropDownCount READ DropDownCount WRITE SetDropDownCount)
    Q_PROPERTY(int32_t ItemHeight READ ItemHeight WRITE SetItemHeight)
    Q_PROPERTY(bool Sorted READ Sorted WRITE SetSorted)
    Q_PROPERTY(int32_t MaxLength READ MaxLength WRITE SetMaxLength)
public:
    // 145 x 21, white, csDropDown, 8 items dropped down.
    explicit TComboBox(TComponent* AOwner = nullptr);
    ~TComboBox() override;

    QStringList Items() const;
    void SetItems(const QStringList& v);
    // -1 for no selection; out-of-range values select nothing.
    int32_t ItemIndex() const;
    void SetItemIndex(int32_t v);
    QString Text() const;
    void SetText(const QString& v);
    TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(TComboBoxStyle v);
    int32_t DropDownCount() const { return FDropDownCount; }
    void SetDropDownCount(int32_t v);
    int32_t ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int32_t v);
    bool Sorted() const { return FSorted; }
    void SetSorted(bool v);
    int32_t MaxLength() const { return FMaxLength; }
    void SetMaxLength(int32_t v);
    bool DroppedDown() const { return FDroppedDown; }
    void SetDroppedDown(bool v);

    // The Qt widget inside (tests drive it; descendants style it).
    QComboBox* Widget() const;

    TNotifyEvent OnChange;
    TNotifyEvent OnDropDown;
    bool SetEvent(const std::string& Name, const std::any& Handler) override;
    void Loaded() override;

    // What the user does: picks item Index from the list (fires OnChange when
    // it differs from the current one).
    void SelectByUser(int32_t Index);

protected:
    virtual bool OwnerPaints() const { return false; }
    virtual void Change();
    void Resize() override;
    void ColorChanged() override;
    void FontChanged() override;
    void EnabledChanged() override;

private:
    class TInner;
    friend class TInner;
    void ApplyLook();
    void UserPicked(int index);
    void UserEdited();
    void PopupShown(bool shown);

    TInner* FInner; // a child widget: Qt frees it with this control
    TComboBoxStyle FStyle = csDropDown;
    int32_t FDropDownCount = 8;
    int32_t FItemHeight = 16;
    bool FSorted = false;
    int32_t FMaxLength = 0;
    int32_t FLoadedIndex = -2; // ItemIndex read before the loading finished
    int32_t FLastIndex = -1;
    bool FDroppedDown = false;
    bool FProgrammatic = false;
};

// Fires OnTimer every Interval milliseconds while Enabled (in the main thread).
class TTimer : public QObject, public TComponent {
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(int32_t Interval READ Interval WRITE SetInterval)
public:
    explicit TTimer(TComponent* AOwner = nullptr);
    ~TTimer() override;
    QObject* AsQObject() override { return this; }

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool v);
    // 0 stops the timer.
    int32_t Interval() const { return FInterval; }
    void SetInterval(int32_t v);

    TNotifyEvent OnTimer;
    bool SetEvent(const std::string& Name, const std::any& Handler) override;
    void Loaded() override;
    // True while the underlying timer runs.
    bool Active() const;

protected:
    virtual void Timer();

private:
    void UpdateTimer();

    std::unique_ptr<QTimer> FTimer;
    bool FEnabled = true;
    int32_t FInterval = 1000;
};

// Registers TPanel, TLabel, TComboBox and TTimer and the names of the
// framework's enumerations, for the stored-description reader.
void RegisterFrameworkComponents();

} // namespace qv
