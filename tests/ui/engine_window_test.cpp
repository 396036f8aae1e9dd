// The engine dialog on real widgets: its layout, frames, fonts, memo, buttons and keys.
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include "tests/ui/qt_fixture.h"
#include "ui/qt/qt_style.h"

using namespace ui::qt;
using namespace ui;

namespace {
using EngineWindow = QtTest;

struct Place {
    const char* name;
    int left, top, width, height;
};

// The engine dialog's layout table.
const Place kEngineLayout[] = {
    {"JobTitlePanel", 0, 0, 450, 33},  {"JobLabel", 1, 1, 448, 31},       {"ProgressPanel", 0, 33, 450, 32},
    {"Label1", 0, 0, 41, 13},          {"ProgressBar", 0, 16, 450, 16},   {"ExternalAppPanel", 0, 65, 450, 0},
    {"ActionPanel", 0, 65, 450, 176},  {"Panel1", 0, 0, 450, 17},         {"Label2", 0, 3, 30, 13},
    {"ProgressMemo", 0, 17, 450, 159}, {"BottomPanel", 0, 241, 450, 42},  {"ButtonPanel", 149, 0, 301, 42},
    {"StopBitBtn", 32, 8, 75, 25},     {"ProceedBitBtn", 112, 8, 89, 25}, {"CloseBtn", 224, 8, 75, 25},
};

TControl* Find(TForm& form, const std::string& name) {
    for (TComponent* c : form.Components)
        if (c->Name == name) return dynamic_cast<TControl*>(c);
    return nullptr;
}

TEST_F(EngineWindow, EveryControlSitsWhereTheTableSays) {
    ShownForm form(*runtime);
    QWidget* window = runtime->WindowOf(*form);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(450, 283));
    EXPECT_EQ(window->windowTitle().toStdString(), "ZEL Web Updater");
    for (const Place& p : kEngineLayout) {
        SCOPED_TRACE(p.name);
        TControl* c = Find(*form, p.name);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(QRect(c->Left, c->Top, c->Width, c->Height), QRect(p.left, p.top, p.width, p.height)) << "state";
        QWidget* w = runtime->WidgetOf(*c);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), WidgetPlace(*c, QRect(p.left, p.top, p.width, p.height))) << "widget";
        EXPECT_EQ(w->parentWidget(), c->Parent == &*form ? window : runtime->WidgetOf(*c->Parent));
    }
}

TEST_F(EngineWindow, WindowHasNoTitleBarButtonsIsSizeableAndCentred) {
    ShownForm form(*runtime);
    QWidget* window = runtime->WindowOf(*form);
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    for (auto button : {Qt::WindowSystemMenuHint, Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint,
                        Qt::WindowCloseButtonHint})
        EXPECT_FALSE(flags & button) << std::hex << int(button);
    EXPECT_NE(window->minimumSize(), window->maximumSize()) << "sizeable";
    const QPoint screenCentre = window->screen()->availableGeometry().center();
    EXPECT_LE((window->frameGeometry().center() - screenCentre).manhattanLength(), 1);
}

TEST_F(EngineWindow, PanelsAreLoweredOrFlat) {
    ShownForm form(*runtime);
    const struct {
        TPanel& panel;
        bool lowered;
    } cases[] = {{form->JobTitlePanel, true}, {form->ProgressPanel, false}, {form->ExternalAppPanel, true},
                 {form->ActionPanel, false},  {form->Panel1, false},        {form->BottomPanel, false},
                 {form->ButtonPanel, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.panel.Name);
        auto* frame = Widget<QFrame>(c.panel);
        ASSERT_NE(frame, nullptr);
        if (c.lowered) {
            EXPECT_EQ(frame->frameShape(), QFrame::Panel);
            EXPECT_EQ(frame->frameShadow(), QFrame::Sunken);
            EXPECT_EQ(frame->frameWidth(), 1);
        } else {
            EXPECT_EQ(frame->frameShape(), QFrame::NoFrame);
        }
    }
}

TEST_F(EngineWindow, FontsAreAtTheirPixelHeights) {
    ShownForm form(*runtime);
    const struct {
        TControl& control;
        int pixels;
        QColor color;
    } cases[] = {
        {form->JobLabel, 13, ResolveColor(clWindowText)},   {form->Label1, 11, ResolveColor(clWindowText)},
        {form->Label2, 11, ResolveColor(clWindowText)},     {form->ProgressMemo, 11, QColor(0, 0, 128)},
        {form->StopBitBtn, 11, ResolveColor(clWindowText)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control.Name);
        QWidget* w = runtime->WidgetOf(c.control);
        EXPECT_EQ(w->font().pixelSize(), c.pixels);
        EXPECT_EQ(w->font().family(), ResolveFamily("MS Sans Serif"));
        const QPalette::ColorRole role =
            c.control.Kind() == TComponentKind::RichMemo ? QPalette::Text : QPalette::WindowText;
        EXPECT_EQ(w->palette().color(role), c.color);
    }
    auto* job = Widget<QLabel>(form->JobLabel);
    EXPECT_EQ(job->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_TRUE(job->wordWrap());
    EXPECT_EQ(Widget<QLabel>(form->Label1)->text(), "Progress");
    EXPECT_EQ(Widget<QLabel>(form->Label2)->text(), "Status");
}

TEST_F(EngineWindow, MemoLinesCarryTheirColourAndWeight) {
    ShownForm form(*runtime);
    form->ReportStatus("a plain line", true, false, false);
    form->ReportStatus("a bold red line", true, true, true);
    auto* memo = Widget<QTextEdit>(form->ProgressMemo);
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    QTextDocument* doc = memo->document();
    // "Connecting to update server..." from showing the form comes first.
    ASSERT_EQ(doc->blockCount(), 3);
    const struct {
        int block;
        const char* text;
        QColor color;
        bool bold;
    } cases[] = {{0, "Connecting to update server...", QColor(0, 0, 128), false},
                 {1, "a plain line", QColor(0, 0, 128), false},
                 {2, "a bold red line", QColor(255, 0, 0), true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const QTextBlock block = doc->findBlockByNumber(c.block);
        EXPECT_EQ(block.text().toStdString(), c.text);
        const QTextCharFormat f = block.begin().fragment().charFormat();
        EXPECT_EQ(f.foreground().color(), c.color);
        EXPECT_EQ(f.fontWeight() >= QFont::Bold, c.bold);
    }
}

TEST_F(EngineWindow, MemoFollowsTheStateAndShowsTheNewestLine) {
    ShownForm form(*runtime);
    auto* memo = Widget<QTextEdit>(form->ProgressMemo);
    for (int i = 0; i < 60; ++i) form->ReportStatus("line " + std::to_string(i), true, false, false);
    runtime->ProcessMessages();
    EXPECT_EQ(memo->document()->blockCount(), 61);
    EXPECT_GT(memo->verticalScrollBar()->maximum(), 0);
    QTextCursor last(memo->document()->lastBlock());
    EXPECT_TRUE(memo->viewport()->rect().contains(memo->cursorRect(last))) << "the newest line is in view";
    EXPECT_GT(memo->verticalScrollBar()->value(), 0);

    // A line with a break inside stays one line; a list that lost lines is shown anew.
    form->ProgressMemo.Lines.resize(2);
    form->ReportStatus("first\rsecond", true, false, false);
    runtime->Sync();
    ASSERT_EQ(memo->document()->blockCount(), 3);
    EXPECT_EQ(memo->document()->findBlockByNumber(1).text().toStdString(), "line 0");
    EXPECT_EQ(memo->document()->findBlockByNumber(2).text(), QString("first") + QChar::LineSeparator + "second");
}

TEST_F(EngineWindow, ButtonsCarryCaptionsAndTwoPictureGlyphs) {
    ShownForm form(*runtime);
    const struct {
        TButton& button;
        const char* text;
        int glyph;
    } cases[] = {{form->StopBitBtn, "Stop", 18}, {form->ProceedBitBtn, "Proceed", 16}, {form->CloseBtn, "&Close", 18}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto* b = Widget<QPushButton>(c.button);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text().toStdString(), c.text);
        EXPECT_EQ(b->iconSize(), QSize(c.glyph, c.glyph));
        const QImage normal = b->icon().pixmap(c.glyph, QIcon::Normal).toImage();
        const QImage disabled = b->icon().pixmap(c.glyph, QIcon::Disabled).toImage();
        ASSERT_EQ(normal.size(), QSize(c.glyph, c.glyph));
        EXPECT_NE(normal, disabled);
        EXPECT_EQ(normal.pixelColor(0, c.glyph - 1).alpha(), 0) << "lower-left colour is transparent";
    }
}

TEST_F(EngineWindow, StateChangesReachTheWidgets) {
    ShownForm form(*runtime);
    form->ProceedBitBtn.Enabled = false;
    form->StopBitBtn.Visible = false;
    form->JobLabel.Caption = "Done.";
    form->Caption = "Another caption";
    form->ProgressBar.Max = 2048;
    form->ProgressBar.Position = 1000;
    runtime->ProcessMessages();
    EXPECT_FALSE(Widget(form->ProceedBitBtn)->isEnabled());
    EXPECT_TRUE(Widget(form->StopBitBtn)->isHidden());
    EXPECT_EQ(Widget<QLabel>(form->JobLabel)->text(), "Done.");
    EXPECT_EQ(runtime->WindowOf(*form)->windowTitle(), "Another caption");
    auto* bar = Widget<QProgressBar>(form->ProgressBar);
    EXPECT_EQ(bar->maximum(), 2048);
    EXPECT_EQ(bar->value(), 1000);
}

TEST_F(EngineWindow, DockedControlsFollowAResize) {
    ShownForm form(*runtime);
    QWidget* window = runtime->WindowOf(*form);
    window->resize(600, 400);  // as the user drags the frame
    EXPECT_EQ(form->ClientWidth, 600);
    EXPECT_EQ(form->ClientHeight, 400);
    const Place resized[] = {
        {"JobTitlePanel", 0, 0, 600, 33}, {"JobLabel", 1, 1, 598, 31},       {"ProgressBar", 0, 16, 600, 16},
        {"ActionPanel", 0, 65, 600, 293}, {"ProgressMemo", 0, 17, 600, 276}, {"BottomPanel", 0, 358, 600, 42},
        {"ButtonPanel", 299, 0, 301, 42}, {"CloseBtn", 224, 8, 75, 25},
    };
    for (const Place& p : resized) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(runtime->WidgetOf(*Find(*form, p.name))->geometry(), QRect(p.left, p.top, p.width, p.height));
    }
    // The code gives the external-application panel height: the status area gives way.
    form->ExternalAppPanel.Height = 50;
    runtime->Sync();
    EXPECT_EQ(Widget(form->ExternalAppPanel)->geometry(), QRect(0, 65, 600, 50));
    EXPECT_EQ(Widget(form->ActionPanel)->geometry(), QRect(0, 115, 600, 243));
    // So does a new outer height set by the code.
    form->Height -= 100;
    runtime->Sync();
    EXPECT_EQ(window->height(), 300);
    EXPECT_EQ(Widget(form->BottomPanel)->geometry(), QRect(0, 258, 600, 42));
}

TEST_F(EngineWindow, EscPressesStopOnlyWhileItIsVisibleAndEnabled) {
    const struct {
        const char* what;
        bool visible, enabled, stops;
    } cases[] = {
        {"visible and enabled", true, true, true}, {"hidden", false, true, false}, {"disabled", true, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ShownForm form(*runtime);
        form->StopBitBtn.Visible = c.visible;
        form->StopBitBtn.Enabled = c.enabled;
        runtime->Sync();
        QTest::keyClick(runtime->WindowOf(*form), Qt::Key_Escape);
        EXPECT_EQ(form->Stopping(), c.stops);
        EXPECT_TRUE(form->Showing) << "Esc never closes the window itself";
    }
}

TEST_F(EngineWindow, AltCPressesClose) {
    ShownForm form(*runtime);
    QWidget* window = runtime->WindowOf(*form);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_C, Qt::AltModifier);
    // A mnemonic shows the button pressed for a moment before it clicks.
    for (int i = 0; i < 50 && form->Showing; ++i) QTest::qWait(20);
    EXPECT_TRUE(form->Stopping());
    EXPECT_FALSE(form->Showing);
    EXPECT_EQ(runtime->WindowOf(*form), nullptr);
}

TEST_F(EngineWindow, TheMessageLoopEndsWhenCloseIsClicked) {
    ShownForm form(*runtime);
    QTimer::singleShot(0, [&] { Widget<QPushButton>(form->CloseBtn)->click(); });
    runtime->RunMessageLoop(*form);
    EXPECT_FALSE(form->Showing);
    EXPECT_TRUE(form->Stopping());
}
}  // namespace
