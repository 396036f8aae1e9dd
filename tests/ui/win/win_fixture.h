#pragma once
// The Windows runtime under Wine: real windows on a (virtual) display, the component state as
// the only layout, and message boxes answered by the test instead of a person.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/application.h"
#include "ui/components.h"
#include "ui/runtime.h"
#include "ui/win/win_runtime.h"

class WinTest : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;

    HWND Window(const ui::TControl& c) const {
        HWND w = runtime->WindowOf(c);
        EXPECT_NE(w, nullptr) << c.Name;
        return w;
    }
    // Where a control's window is inside its parent's client area, in layout pixels.
    RECT Place(const ui::TControl& c) const;
    // The window's client size in layout pixels.
    SIZE ClientSize(const ui::TForm& f) const;
    // Layout pixels as screen pixels at the dots per inch of c's window (the suite also runs at 150 %).
    int ScreenPixels(const ui::TControl& c, int LayoutPixels) const;
    // A click as the user makes it, handled before this returns.
    void Click(ui::TButton& b) { SendMessageW(Window(b), BM_CLICK, 0, 0); }
    // A click that waits in the queue until messages are next processed.
    void QueueClick(ui::TButton& b) { PostMessageW(Window(b), BM_CLICK, 0, 0); }
    // Pumps messages until Done says so or a second has passed; false on time-out.
    bool PumpUntil(const std::function<bool()>& Done);

    // Boxes the test answers: the next box shown is read and answered with the button Id
    // (IDOK, IDYES, IDNO...). Works for any modal loop, as it runs from a thread timer.
    struct Box {
        std::string caption, text;
    };
    void AnswerBoxes(std::vector<int> Ids);
    // Runs Action from inside whatever modal loop runs next (a dialog's, a box's).
    void Soon(std::function<void()> Action);
    std::vector<Box> boxes;

    std::unique_ptr<ui::win::TWinRuntime> runtime;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    std::vector<int> answers_;
    std::vector<std::function<void()>> soon_;
    UINT_PTR timer_ = 0;
};

// Text and format of one paragraph of a RichEdit.
struct MemoLine {
    std::string text;
    COLORREF color;
    bool bold;
};
std::vector<MemoLine> MemoLines(HWND RichEdit);
// The character height in pixels a RichEdit shows its text in.
int MemoFontHeight(HWND RichEdit);
// The font a control shows.
LOGFONTW FontOf(HWND Control);
std::string Text(HWND Window);
