#include "framework/std_controls.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include "framework/exception_handler.h"
#include "framework/exceptions.h"
#include "framework/forms.h"

using namespace qv;

namespace {

QRgb Px(TColor c) { return ToQColor(c).rgb(); }

bool WaitFor(const std::function<bool()>& done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

TEST(StdControls, PanelDrawsItsBevelsAndFillsInside)
{
    TPanel panel;
    panel.SetBounds(0, 0, 10, 8);
    panel.SetColor(clBlack);
    panel.SetBevelOuter(bvRaised);
    panel.SetBevelInner(bvLowered);
    panel.SetBorderWidth(1);
    EXPECT_EQ(panel.FrameWidth(), 3);
    const QImage img = panel.grab().toImage();
    ASSERT_EQ(img.size(), QSize(10, 8));
    // Outer raised ring: highlight top and left, shadow bottom and right; the
    // top-right and bottom-left corners take the shadow.
    EXPECT_EQ(img.pixel(0, 0), Px(clBtnHighlight));
    EXPECT_EQ(img.pixel(5, 0), Px(clBtnHighlight));
    EXPECT_EQ(img.pixel(0, 4), Px(clBtnHighlight));
    EXPECT_EQ(img.pixel(9, 0), Px(clBtnShadow));
    EXPECT_EQ(img.pixel(0, 7), Px(clBtnShadow));
    EXPECT_EQ(img.pixel(9, 7), Px(clBtnShadow));
    // Border ring in the panel colour, then the lowered inner ring.
    EXPECT_EQ(img.pixel(1, 1), Px(clBlack));
    EXPECT_EQ(img.pixel(2, 2), Px(clBtnShadow));
    EXPECT_EQ(img.pixel(7, 5), Px(clBtnHighlight));
    EXPECT_EQ(img.pixel(4, 4), Px(clBlack));

    // A one-pixel-high raised panel is a shadow line: a separator.
    TPanel line;
    line.SetBounds(0, 0, 6, 1);
    const QImage l = line.grab().toImage();
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(l.pixel(x, 0), Px(clBtnShadow)) << x;
}

TEST(StdControls, LabelSizesToItsTextAndPaintsInFontColourOnParentColour)
{
    TPanel host;
    host.SetBounds(0, 0, 100, 30);
    host.SetColor(clBlack);
    auto* label = new TLabel(&host);
    label->SetParent(&host);
    label->SetLeft(10);
    label->Font()->SetColor(clAqua);
    label->SetCaption(QStringLiteral("Gain"));
    const int w = label->Width();
    EXPECT_GT(w, 10);
    EXPECT_LT(w, 40);
    EXPECT_EQ(label->Height(), QFontMetrics(label->Font()->ToQFont()).height());
    label->SetCaption(QStringLiteral("Gain Gain"));
    EXPECT_GT(label->Width(), w);
    EXPECT_EQ(label->Left(), 10);
    // Right-justified labels keep their right edge.
    label->SetAlignment(taRightJustify);
    const int right = label->Left() + label->Width();
    label->SetCaption(QStringLiteral("G"));
    EXPECT_EQ(label->Left() + label->Width(), right);

    EXPECT_EQ(label->Color(), clBlack);
    const QImage img = label->grab().toImage();
    bool text = false;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            EXPECT_TRUE(p == Px(clBlack) || qBlue(p) > 0) << x << "," << y;
            text = text || (qRed(p) < 60 && qGreen(p) > 150 && qBlue(p) > 150);
        }
    EXPECT_TRUE(text);
}

TEST(StdControls, ComboBoxChangeFiresOnlyForTheUsersOtherPick)
{
    TComboBox box;
    int changes = 0;
    box.OnChange = [&](TComponent* s) {
        EXPECT_EQ(s, &box);
        ++changes;
    };
    box.SetStyle(csDropDownList);
    box.SetItems({"8000", "11025", "16000"});
    EXPECT_EQ(box.ItemIndex(), -1);
    box.SetItemIndex(1);
    EXPECT_EQ(box.Text(), QStringLiteral("11025"));
    box.SetItemIndex(7); // out of range: no selection
    EXPECT_EQ(box.ItemIndex(), -1);
    box.SetText(QStringLiteral("16000"));
    EXPECT_EQ(box.ItemIndex(), 2);
    EXPECT_EQ(changes, 0);
    box.SelectByUser(0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(box.ItemIndex(), 0);
    box.SelectByUser(0); // the same item again
    EXPECT_EQ(changes, 1);
    // A pick through the Qt widget itself counts as the user's too.
    emit box.Widget()->activated(2);
    EXPECT_EQ(changes, 2);
    // An exception from the handler goes to the top-level handler, not to Qt.
    std::vector<std::string> seen;
    TExceptionHandler old = SetExceptionHandler([&](std::exception_ptr e) {
        std::string t;
        seen.push_back(ExceptionText(e, t));
    });
    box.OnChange = [](TComponent*) { throw Exception("Change to property while device was open"); };
    box.SelectByUser(1);
    SetExceptionHandler(std::move(old));
    EXPECT_EQ(seen, std::vector<std::string>{"Change to property while device was open"});

    // Colour and font colour reach the Qt widget.
    box.SetColor(clBlack);
    box.Font()->SetColor(clTeal);
    EXPECT_EQ(box.Widget()->palette().color(QPalette::Button), ToQColor(clBlack));
    EXPECT_EQ(box.Widget()->palette().color(QPalette::ButtonText), ToQColor(clTeal));
    box.SetBounds(5, 5, 56, 19);
    EXPECT_EQ(box.Widget()->geometry(), QRect(0, 0, 56, 19));
    box.SetDropDownCount(9);
    EXPECT_EQ(box.Widget()->maxVisibleItems(), 9);
}

TEST(StdControls, ComboBoxTakesItemIndexStoredBeforeItsItems)
{
    TComboBox box;
    box.SetLoading(true);
    box.SetItemIndex(1);
    box.SetItems({"8bit", "16bit"});
    box.Loaded();
    EXPECT_EQ(box.ItemIndex(), 1);
    EXPECT_EQ(box.Text(), QStringLiteral("16bit"));
}

TEST(StdControls, TimerFiresWhileEnabledAndNotWhileLoading)
{
    TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&](TComponent*) { ++ticks; };
    timer.SetLoading(true);
    timer.SetInterval(5);
    EXPECT_FALSE(timer.Active());
    timer.Loaded();
    EXPECT_TRUE(timer.Active());
    ASSERT_TRUE(WaitFor([&] { return ticks >= 2; }));
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Active());
    const int stopped = ticks;
    QTest::qWait(30);
    EXPECT_EQ(ticks, stopped);
    timer.SetEnabled(true);
    timer.SetInterval(0);
    EXPECT_FALSE(timer.Active());
}

TEST(StdControls, FormCentresOnTheScreenAndTitlesItsWindow)
{
    TForm form;
    form.SetClientWidth(200);
    form.SetClientHeight(100);
    form.SetPosition(poScreenCenter);
    form.SetCaption(QStringLiteral("Quorvane v.1.0"));
    EXPECT_FALSE(form.isVisible());
    form.Show();
    EXPECT_TRUE(form.isVisible());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // The window's inner area is centred (the frame, if any, lies around it).
    EXPECT_EQ(form.geometry(), QRect(screen.x() + (screen.width() - 200) / 2,
                                     screen.y() + (screen.height() - 100) / 2, 200, 100));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Quorvane v.1.0"));
    form.Close();
    EXPECT_FALSE(form.isVisible());
}
