#include "framework/control.h"

#include <QImage>
#include <QPainter>
#include <QTest>
#include <QVariant>
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "framework/enum_names.h"

using namespace qv;

namespace {

// Paints its area in its colour with a one-pixel frame in the font colour,
// and records the mouse calls it receives.
class Box : public TControl {
public:
    using TControl::TControl;
    std::vector<std::string> log;
    bool canvasHadPainter = false;
    int paints = 0;

protected:
    void Paint() override
    {
        ++paints;
        canvasHadPainter = Canvas()->Painter() != nullptr;
        Canvas()->Brush().SetColor(Color());
        Canvas()->FillRect(ClientRect());
        Canvas()->Brush().SetColor(Font()->Color());
        Canvas()->FrameRect(ClientRect());
    }
    void MouseDown(TMouseButton b, TShiftState s, int32_t x, int32_t y) override
    {
        log.push_back("down " + std::to_string(b) + ((s & ssDouble) ? " double " : " ") + std::to_string(x)
            + "," + std::to_string(y));
        TControl::MouseDown(b, s, x, y);
    }
    void MouseUp(TMouseButton b, TShiftState s, int32_t x, int32_t y) override
    {
        log.push_back("up " + std::to_string(b));
        TControl::MouseUp(b, s, x, y);
    }
};

// A container whose aligned children keep a 3-pixel margin.
class Framed : public TControl {
public:
    using TControl::TControl;
    void AlignControls(TRect r) override { TControl::AlignControls(InflateRect(r, -3, -3)); }
};

} // namespace

TEST(Control, AlignsChildrenInOrderTopBottomLeftRightClient)
{
    TControl parent;
    parent.SetBounds(0, 0, 200, 100);
    auto* top2 = new Box(&parent);
    auto* top1 = new Box(&parent);
    auto* bottom = new Box(&parent);
    auto* left = new Box(&parent);
    auto* right = new Box(&parent);
    auto* client = new Box(&parent);
    top2->SetBounds(0, 50, 10, 15);
    top1->SetBounds(0, 10, 10, 20);
    bottom->SetBounds(0, 0, 10, 10);
    left->SetBounds(0, 0, 30, 10);
    right->SetBounds(0, 0, 40, 10);
    // Set together (as a stored description does) the groups are ordered by
    // position; one by one, each is placed as it comes.
    parent.DisableAlign();
    for (TControl* c : { top2, top1, bottom, left, right, client })
        c->SetParent(&parent);
    top2->SetAlign(alTop);
    top1->SetAlign(alTop);
    bottom->SetAlign(alBottom);
    left->SetAlign(alLeft);
    right->SetAlign(alRight);
    client->SetAlign(alClient);
    parent.EnableAlign();
    EXPECT_EQ(parent.ControlCount(), 6);
    EXPECT_EQ(top1->BoundsRect(), Rect(0, 0, 200, 20)); // the upper one first
    EXPECT_EQ(top2->BoundsRect(), Rect(0, 20, 200, 35));
    EXPECT_EQ(bottom->BoundsRect(), Rect(0, 90, 200, 100));
    EXPECT_EQ(left->BoundsRect(), Rect(0, 35, 30, 90));
    EXPECT_EQ(right->BoundsRect(), Rect(160, 35, 200, 90));
    EXPECT_EQ(client->BoundsRect(), Rect(30, 35, 160, 90));
    EXPECT_EQ(client->geometry(), QRect(30, 35, 130, 55));

    // The parent's resize and a child's new height realign; a hidden child
    // gives up its place.
    parent.SetBounds(0, 0, 300, 120);
    EXPECT_EQ(client->BoundsRect(), Rect(30, 35, 260, 110));
    top1->SetHeight(5);
    EXPECT_EQ(top2->BoundsRect(), Rect(0, 5, 300, 20));
    top2->SetVisible(false);
    EXPECT_EQ(left->BoundsRect(), Rect(0, 5, 30, 110));

    // Loading defers alignment to Loaded.
    Framed framed;
    framed.SetLoading(true);
    framed.SetBounds(0, 0, 50, 40);
    auto* fill = new Box(&framed);
    fill->SetParent(&framed);
    fill->SetAlign(alClient);
    EXPECT_EQ(fill->BoundsRect(), Rect(0, 0, 0, 0));
    framed.Loaded();
    EXPECT_EQ(fill->BoundsRect(), Rect(3, 3, 47, 37));
}

TEST(Control, ColourAndFontFollowTheParentUntilSetOwn)
{
    TControl parent;
    parent.SetColor(clBlack);
    EXPECT_FALSE(parent.ParentColor());
    parent.Font()->SetColor(clAqua);
    EXPECT_FALSE(parent.ParentFont());
    Box child(nullptr);
    child.SetParent(&parent);
    EXPECT_EQ(child.Color(), clBlack);
    EXPECT_EQ(child.Font()->Color(), clAqua);
    EXPECT_TRUE(child.ParentColor());
    EXPECT_TRUE(child.ParentFont());
    parent.SetColor(clTeal);
    parent.Font()->SetName("Arial");
    EXPECT_EQ(child.Color(), clTeal);
    EXPECT_EQ(child.Font()->Name(), "Arial");
    child.Font()->SetColor(clGray);
    EXPECT_FALSE(child.ParentFont());
    parent.Font()->SetColor(clRed);
    EXPECT_EQ(child.Font()->Color(), clGray);
    child.SetColor(clNavy);
    parent.SetColor(clWhite);
    EXPECT_EQ(child.Color(), clNavy);
    child.SetParentColor(true);
    EXPECT_EQ(child.Color(), clWhite);
    child.SetParent(nullptr);
}

TEST(Control, PublishedPropertiesAreSetByName)
{
    RegisterControlEnums();
    Box b(nullptr);
    EXPECT_TRUE(b.setProperty("Width", 40));
    EXPECT_TRUE(b.setProperty("Height", 30));
    EXPECT_TRUE(b.setProperty("Caption", QStringLiteral("Scope")));
    EXPECT_TRUE(b.setProperty("Align", QVariant::fromValue(alClient)));
    EXPECT_TRUE(b.setProperty("Color", QVariant::fromValue<TColor>(clAqua)));
    EXPECT_EQ(b.Width(), 40);
    EXPECT_EQ(b.Height(), 30);
    EXPECT_EQ(b.Caption(), "Scope");
    EXPECT_EQ(b.Align(), alClient);
    EXPECT_EQ(b.Color(), clAqua);
    auto* font = b.property("Font").value<TFont*>();
    ASSERT_EQ(font, b.Font());
    EXPECT_TRUE(font->setProperty("Height", -13));
    EXPECT_EQ(b.Font()->Height(), -13);
    EXPECT_TRUE(b.HasPublishedProperty("ShowHint"));
    const char* alignType = QMetaType::fromType<TAlign>().name();
    EXPECT_EQ(TEnumNames::ValueOf(alignType, "alRight"), 4);
    EXPECT_EQ(TEnumNames::ValueOf(QMetaType::fromType<TFontStyles>().name(), "fsUnderline"), 2);
    EXPECT_EQ(TEnumNames::ValueOf(QMetaType::fromType<TCursor>().name(), "crHSplit"), 14);
}

TEST(Control, PaintsThroughItsCanvasIntoTheWidget)
{
    TControl form;
    form.SetBounds(0, 0, 60, 40);
    form.SetColor(clWhite);
    Box box(nullptr);
    box.SetBounds(10, 5, 20, 10);
    box.SetParent(&form);
    box.SetColor(clRed);
    box.Font()->SetColor(clBlue);
    box.SetOpaque(true);
    EXPECT_TRUE(box.testAttribute(Qt::WA_OpaquePaintEvent));
    const QImage img = form.grab().toImage();
    EXPECT_TRUE(box.canvasHadPainter);
    EXPECT_EQ(box.Canvas()->Painter(), nullptr); // only valid while painting
    EXPECT_EQ(img.pixel(10, 5), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(29, 14), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(11, 6), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(28, 13), qRgb(255, 0, 0));
    EXPECT_NE(img.pixel(30, 5), qRgb(255, 0, 0));
}

TEST(Control, MouseCallsEventsAndClickOrder)
{
    Box b(nullptr);
    b.SetBounds(0, 0, 50, 50);
    b.show();
    std::vector<std::string> events;
    b.OnClick = [&](TComponent* s) {
        EXPECT_EQ(s, &b);
        events.push_back("click");
    };
    b.OnDblClick = [&](TComponent*) { events.push_back("dblclick"); };
    b.OnMouseDown = [&](TComponent*, TMouseButton, TShiftState sh, int32_t x, int32_t y) {
        events.push_back("down " + std::to_string(x) + "," + std::to_string(y) + ((sh & ssLeft) ? " L" : ""));
    };
    b.OnMouseUp = [&](TComponent*, TMouseButton, TShiftState, int32_t, int32_t) { events.push_back("up"); };
    QTest::mousePress(&b, Qt::LeftButton, Qt::NoModifier, QPoint(7, 9));
    QTest::mouseRelease(&b, Qt::LeftButton, Qt::NoModifier, QPoint(7, 9));
    EXPECT_EQ(events, (std::vector<std::string> { "down 7,9 L", "click", "up" }));
    events.clear();
    QTest::mouseDClick(&b, Qt::LeftButton, Qt::NoModifier, QPoint(3, 4));
    ASSERT_GE(b.log.size(), 2u);
    EXPECT_NE(std::find(events.begin(), events.end(), "dblclick"), events.end());
    EXPECT_NE(std::find(b.log.begin(), b.log.end(), "down 0 double 3,4"), b.log.end());
    events.clear();
    // A release outside the control is no click; a right button is no click.
    QTest::mousePress(&b, Qt::LeftButton, Qt::NoModifier, QPoint(7, 9));
    QTest::mouseRelease(&b, Qt::LeftButton, Qt::NoModifier, QPoint(70, 9));
    QTest::mouseClick(&b, Qt::RightButton, Qt::NoModifier, QPoint(7, 9));
    EXPECT_EQ(std::count(events.begin(), events.end(), "click"), 0);
    // Named event assignment with the exact handler type.
    int resized = 0;
    EXPECT_TRUE(b.SetEvent("OnResize", std::any(TNotifyEvent([&](TComponent*) { ++resized; }))));
    EXPECT_FALSE(b.SetEvent("OnResize", std::any(42)));
    EXPECT_FALSE(b.SetEvent("OnNothing", std::any(TNotifyEvent())));
    b.SetWidth(60);
    EXPECT_EQ(resized, 1);
}

TEST(Control, DestructionInAnyOrderIsSafe)
{
    // Children owned by a component other than their parent, freed by Qt
    // with the parent, or freed first by their owner.
    TComponent owner;
    auto* parent = new TControl(&owner);
    auto* a = new Box(&owner);
    auto* b = new Box(&owner);
    a->SetParent(parent);
    b->SetParent(a);
    b->SetAlign(alClient);
    delete parent; // Qt frees a and b with it; the owner hears of both
    EXPECT_EQ(owner.ComponentCount(), 0);

    auto* p2 = new TControl(nullptr);
    auto* c = new Box(p2);
    c->SetParent(p2);
    c->SetAlign(alTop);
    delete c;
    EXPECT_EQ(p2->ControlCount(), 0);
    delete p2;
}

TEST(Control, InvalidateFromAnotherThreadIsPosted)
{
    Box b(nullptr);
    b.SetBounds(0, 0, 10, 10);
    b.show();
    QCoreApplication::processEvents();
    const int before = b.paints;
    std::thread t([&] { b.Invalidate(); });
    t.join();
    for (int i = 0; i < 200 && b.paints == before; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(5);
    }
    EXPECT_GT(b.paints, before);
}
