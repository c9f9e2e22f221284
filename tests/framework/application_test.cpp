#include "framework/application.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

#include "framework/exceptions.h"
#include "framework/forms.h"
#include "framework/std_controls.h"

using namespace qv;

namespace {

struct Box {
    std::string text, caption;
};

// Runs the event loop until done() or about ten seconds pass.
bool WaitFor(const std::function<bool()>& done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

TEST(Application, ExceptionsFromHandlersReachTheMessageBoxOnceWithTitleAsCaption)
{
    std::vector<Box> boxes;
    TApplication app([&](const std::string& t, const std::string& c) { boxes.push_back({t, c}); });
    app.SetTitle("Quorvane");
    EXPECT_EQ(Application(), &app);

    // A click handler that throws: the control's guard hands it on.
    TPanel panel;
    panel.SetBounds(0, 0, 40, 20);
    panel.OnClick = [](TComponent*) { throw Exception("No wave audio recording device found"); };
    panel.show();
    QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "No wave audio recording device found");
    EXPECT_EQ(boxes[0].caption, "Quorvane");

    // A timer handler that throws, once.
    TTimer timer;
    timer.SetInterval(5);
    timer.OnTimer = [&](TComponent*) {
        timer.SetEnabled(false);
        throw std::runtime_error("tick failed");
    };
    ASSERT_TRUE(WaitFor([&] { return boxes.size() == 2; }));
    EXPECT_EQ(boxes[1].text, "tick failed");

    // From another thread the box is shown later, in the main thread.
    std::thread::id shownOn;
    app.OnException = [&](TComponent* sender, std::exception_ptr e) {
        EXPECT_EQ(sender, &app);
        shownOn = std::this_thread::get_id();
        app.ShowException(e);
    };
    std::thread worker([] { HandleException(std::make_exception_ptr(Exception("from a worker"))); });
    worker.join();
    EXPECT_EQ(boxes.size(), 2u);
    ASSERT_TRUE(WaitFor([&] { return boxes.size() == 3; }));
    EXPECT_EQ(boxes[2].text, "from a worker");
    EXPECT_EQ(shownOn, std::this_thread::get_id());
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.size(), 3u);
}

TEST(Application, DestroyingItRestoresThePreviousHandlerAndFreesItsForms)
{
    std::vector<std::string> seen;
    TExceptionHandler old = SetExceptionHandler([&](std::exception_ptr e) {
        std::string text;
        seen.push_back(ExceptionText(e, text));
    });
    QPointer<TForm> form;
    {
        int boxes = 0;
        TApplication app([&](const std::string&, const std::string&) { ++boxes; });
        form = new TForm(nullptr);
        app.AddForm(form);
        EXPECT_EQ(app.MainForm(), form.data());
        HandleException(std::make_exception_ptr(Exception("inside")));
        EXPECT_EQ(boxes, 1);
    }
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(Application(), nullptr);
    HandleException(std::make_exception_ptr(Exception("after")));
    EXPECT_EQ(seen, std::vector<std::string>{"after"});
    SetExceptionHandler(std::move(old));
}

TEST(Application, RunEndsWhenTheMainFormClosesAndIdleRunsWhenNothingIsLeft)
{
    std::vector<std::string> boxes;
    TApplication app([&](const std::string& t, const std::string&) { boxes.push_back(t); });
    auto* form = new TForm(nullptr);
    app.AddForm(form);
    int closes = 0;
    form->OnClose = [&](TComponent*, TCloseAction& action) {
        // The first request is refused, the second goes through.
        action = ++closes == 1 ? caNone : caHide;
    };
    int idles = 0;
    app.OnIdle = [&](TComponent*, bool& done) {
        // Not done: called again without any event arriving.
        done = false;
        if (closes == 0)
            return;
        if (++idles == 5)
            throw Exception("idle failed");
        if (idles == 8)
            form->Close();
    };
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(form->isVisible());
        form->Close();
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(app.Terminated());
    });
    app.Run();
    EXPECT_TRUE(app.Terminated());
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(idles, 8);
    EXPECT_EQ(boxes, std::vector<std::string>{"idle failed"});
}

TEST(Application, TerminateBeforeRunReturnsAtOnce)
{
    TApplication app(nullptr);
    app.Terminate();
    app.Run();
    EXPECT_TRUE(app.Terminated());
}
