// What the user does while the program works: clicks in the middle of a wait, keys, the modal
// contact dialog, message boxes, and an error escaping a click.
#include <stdexcept>

#include "tests/ui/win/win_fixture.h"
#include "ui/contact_dialog.h"
#include "ui/engine_dialog.h"
#include "ui/product_dialog.h"

using namespace ui;

namespace {
class Events : public WinTest {
public:
    void SetUp() override {
        WinTest::SetUp();
        ApplyProductLayout(form, extras);
        form.StopBitBtn.OnClick = [this] { stopping = true; };
        form.CloseBtn.OnClick = [this] {
            decided = stopping = true;
            form.Close();
        };
        form.ProceedBitBtn.OnClick = [this] {
            form.ProceedBitBtn.Enabled = false;
            decided = proceeded = true;
        };
    }
    void TearDown() override {
        runtime->Forget(form);
        WinTest::TearDown();
    }
    // As the product waits for the user's decision: Proceed enabled, messages pumped.
    void WaitForDecision() {
        form.ProceedBitBtn.Enabled = true;
        while (!decided) {
            runtime->ProcessMessages();
            Sleep(1);
        }
    }
    TEngineDialog form;
    TProductDialogExtras extras{form};
    bool stopping = false, decided = false, proceeded = false;
};

// The whole run inside the timer event, as the product starts it; the clicks arrive through
// the nested message processing, and Close ends the message loop.
TEST_F(Events, ClicksReachAWaitInsideTheTimerAndCloseEndsTheLoop) {
    std::vector<std::string> steps;
    extras.ProceedTimer.OnTimer = [&] {
        extras.ProceedTimer.Enabled = false;
        steps.push_back("started");
        QueueClick(form.ProceedBitBtn);
        WaitForDecision();
        steps.push_back(proceeded ? "proceeded" : "not proceeded");
        EXPECT_FALSE(IsWindowEnabled(Window(form.ProceedBitBtn))) << "disabled by its click, shown at once";
        decided = false;
        QueueClick(form.CloseBtn);
        WaitForDecision();
        steps.push_back(stopping ? "closed" : "not closed");
    };
    runtime->ShowForm(form);
    extras.ProceedTimer.Enabled = true;
    runtime->TimerChanged(extras.ProceedTimer);
    runtime->RunMessageLoop(form);
    EXPECT_EQ(steps, (std::vector<std::string>{"started", "proceeded", "closed"}));
    EXPECT_FALSE(form.Showing);
    EXPECT_EQ(runtime->WindowOf(form), nullptr);
}

TEST_F(Events, AHiddenOrDisabledButtonIgnoresClicks) {
    runtime->ShowForm(form);
    SendMessageW(Window(form.ProceedBitBtn), WM_COMMAND, BN_CLICKED, 0);
    // BN_CLICKED as a disabled button's parent would get it from a stray message.
    HWND proceed = Window(form.ProceedBitBtn);
    SendMessageW(GetParent(proceed), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), LPARAM(proceed));
    HWND stop = Window(form.StopBitBtn);
    SendMessageW(GetParent(stop), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), LPARAM(stop));
    EXPECT_FALSE(proceeded);
    EXPECT_FALSE(stopping);
}

// Esc presses the cancel button (Stop) only where it can be pressed; Alt+C presses Close.
TEST_F(Events, EscPressesStopWhereItIsShownAndAltCPressesClose) {
    struct Case {
        const char* name;
        bool stopVisible;
        UINT message;
        WPARAM key;
        bool stops, closes;
    } cases[] = {
        {"Esc, Stop hidden", false, WM_KEYDOWN, VK_ESCAPE, false, false},
        {"Esc, Stop shown", true, WM_KEYDOWN, VK_ESCAPE, true, false},
        {"Alt+C", false, WM_SYSCHAR, 'c', true, true},
        {"Alt+X", false, WM_SYSCHAR, 'x', false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stopping = decided = false;
        form.StopBitBtn.Visible = c.stopVisible;
        runtime->ShowForm(form);
        SetFocus(Window(form.CloseBtn));
        PostMessageW(Window(form.ProgressMemo), c.message, c.key, c.message == WM_SYSCHAR ? (1 << 29) : 0);
        runtime->ProcessMessages();
        EXPECT_EQ(stopping, c.stops);
        EXPECT_EQ(!form.Showing, c.closes);
    }
}

TEST_F(Events, TheContactDialogIsAModalAnswer) {
    runtime->ShowForm(form);
    struct Case {
        const char* name;
        bool byEnter;
        int result;
    } cases[] = {{"Enter in the e-mail box", true, mrOk}, {"the close box", false, mrCancel}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TContactDialog dialog(&form);
        dialog.ContactNameEdit.Text = "Old";
        std::string prefilled;
        bool ownerDisabled = false;
        Soon([&] {
            HWND name = Window(dialog.ContactNameEdit), email = Window(dialog.EmailEdit);
            prefilled = Text(name);
            ownerDisabled = !IsWindowEnabled(Window(form));
            SetWindowTextW(name, L"");
            for (wchar_t ch : std::wstring(L"Ann")) SendMessageW(name, WM_CHAR, ch, 0);  // as typed
            SetFocus(email);
            for (wchar_t ch : std::wstring(L"ann@x.org")) SendMessageW(email, WM_CHAR, ch, 0);
            if (c.byEnter)
                PostMessageW(email, WM_KEYDOWN, VK_RETURN, 0);
            else
                PostMessageW(Window(dialog), WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(dialog.ShowModal(), c.result);
        EXPECT_EQ(prefilled, "Old");
        EXPECT_TRUE(ownerDisabled);
        EXPECT_TRUE(IsWindowEnabled(Window(form))) << "the owner works again";
        EXPECT_EQ(dialog.ContactNameEdit.Text, "Ann");
        EXPECT_EQ(dialog.EmailEdit.Text, "ann@x.org");
        EXPECT_EQ(runtime->WindowOf(dialog), nullptr);
    }
}

TEST_F(Events, MessageBoxesAreAnsweredAndSayWhatTheyWereGiven) {
    AnswerBoxes({IDNO, IDYES, IDOK});
    EXPECT_FALSE(runtime->Confirm("Run Setup.exe?"));
    EXPECT_TRUE(runtime->Confirm("Run Setup.exe?"));
    runtime->ShowMessage("Update error: the server is gone");
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].caption, "Confirm");
    EXPECT_EQ(boxes[0].text, "Run Setup.exe?");
    EXPECT_EQ(boxes[2].caption, "Brinquet\xC2\xAE Express Updater");
    EXPECT_EQ(boxes[2].text, "Update error: the server is gone");
}

// An error escaping a click goes to the application's exception event, which writes it into
// the memo in red; without a handler it ends in an error box. The loop goes on either way.
TEST_F(Events, AnErrorFromAClickReachesTheMemo) {
    form.StopBitBtn.Visible = true;
    form.StopBitBtn.OnClick = [] { throw std::runtime_error("Socket error 10061: Connection refused"); };
    form.ApplicationEvents1.OnException = [this](const std::exception& e) {
        form.ProgressMemo.SelColor = clRed;
        form.ProgressMemo.Append("Error:");
        form.ProgressMemo.Append(e.what());
    };
    Application().Events = &form.ApplicationEvents1;
    runtime->ShowForm(form);
    Click(form.StopBitBtn);
    std::vector<MemoLine> shown = MemoLines(Window(form.ProgressMemo));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, "Socket error 10061: Connection refused");
    EXPECT_EQ(shown[1].color, RGB(255, 0, 0));

    Application().Events = nullptr;
    AnswerBoxes({IDOK});
    Click(form.StopBitBtn);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Socket error 10061: Connection refused");
    EXPECT_TRUE(form.Showing);
}
}  // namespace
