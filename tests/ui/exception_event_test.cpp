// An exception that escapes a click or a timer while the window runs never goes through
// Qt: it reaches the application's exception event.
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

#include "platform/errors.h"
#include "tests/ui/qt_fixture.h"

using namespace platform;
using namespace ui;

namespace {
using ExceptionEvent = QtTest;

TEST_F(ExceptionEvent, AClickThatThrowsAddsTwoRedLines) {
    ShownForm form(*runtime);
    form->StopBitBtn.OnClick = [] { throw std::runtime_error("the disk is full"); };
    qobject_cast<QPushButton*>(runtime->WidgetOf(form->StopBitBtn))->click();

    const auto& lines = form->ProgressMemo.Lines;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].Text, "=== Error ===");
    EXPECT_EQ(lines[2].Text, "the disk is full");
    EXPECT_EQ(lines[1].Color, clRed);
    EXPECT_TRUE(lines[1].Bold);
    EXPECT_EQ(lines[2].Color, clRed);
    EXPECT_FALSE(lines[2].Bold);
    EXPECT_EQ(form->ProgressMemo.SelColor, clNavy) << "attributes restored afterwards";
    EXPECT_TRUE(boxes.empty()) << "no box for it";
    EXPECT_TRUE(form->Showing);
}

TEST_F(ExceptionEvent, ATimerThatThrowsInsideTheMessageLoop) {
    ShownForm form(*runtime);
    TTimer timer(&*form, "FailingTimer");
    timer.Interval = 10;
    timer.OnTimer = [&] {
        timer.Enabled = false;
        throw EUpdaterError("no such file");
    };
    runtime->TimerChanged(timer);
    QTimer::singleShot(500, [&] { form->Close(); });
    runtime->RunMessageLoop(*form);
    EXPECT_EQ(CountLines(form->ProgressMemo, "=== Error ==="), 1);
    EXPECT_EQ(CountLines(form->ProgressMemo, "no such file"), 1);
    runtime->Forget(*form);  // before the timer goes
}

TEST_F(ExceptionEvent, WithoutAHandlerItEndsInAnErrorBox) {
    TForm bare("Bare");
    bare.ClientWidth = bare.Width = 100, bare.ClientHeight = bare.Height = 50;
    TButton button(&bare, &bare, "Button");
    button.Width = 50, button.Height = 20;
    button.OnClick = [] { throw std::runtime_error("nobody listens"); };
    runtime->ShowForm(bare);
    qobject_cast<QPushButton*>(runtime->WidgetOf(button))->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "nobody listens");
    EXPECT_EQ(boxes[0].caption, Application().Title);
    runtime->Forget(bare);
}
}  // namespace
