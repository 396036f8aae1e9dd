#pragma once
// The Qt runtime on the offscreen platform, a program folder in a temporary directory, and
// message boxes answered by the test instead of a person.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>  // a box's default button is one: it must convert to QAbstractButton
#include <QWidget>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/zel_cust_update_dialog.h"
#include "tests/support/temp_dir.h"
#include "ui/application.h"
#include "ui/components.h"
#include "ui/qt/qt_runtime.h"
#include "ui/runtime.h"

class QtTest : public ::testing::Test {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "ui_qt_tests";
        static char* argv[] = {name, nullptr};
        runtime = std::make_unique<ui::qt::TQtRuntime>(argc, argv);
        runtime->OnMessageBox = [this](QMessageBox& box) -> QAbstractButton* {
            boxes.push_back({box.windowTitle().toStdString(), box.text().toStdString(), box.icon()});
            return box.defaultButton() ? box.defaultButton() : box.buttons().value(0);
        };
        ui::SetRuntime(runtime.get());
        ui::Application().Title = "Brinquet\xC2\xAE Express Updater";
        ui::Application().ExeName = dir.File("Updater.exe");
        ui::Application().Params.clear();
        ui::Application().MainForm = nullptr;
        ui::Application().Events = nullptr;
    }
    void TearDown() override {
        ui::SetRuntime(nullptr);
        runtime.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::Application().Params.clear();
    }

    // An engine form in visual mode, on screen; it leaves the screen before it is destroyed.
    struct ShownForm {
        ShownForm(ui::qt::TQtRuntime& rt) : runtime(rt), form(engine::CreateForm<TzelCustUpdaterDialogForm>()) {
            form->InitializeIt();
            form->Show();
            form->FormShow();
        }
        ~ShownForm() { runtime.Forget(*form); }
        TzelCustUpdaterDialogForm* operator->() { return form.get(); }
        TzelCustUpdaterDialogForm& operator*() { return *form; }
        ui::qt::TQtRuntime& runtime;
        std::unique_ptr<TzelCustUpdaterDialogForm, void (*)(TzelCustUpdaterDialogForm*)> form;
    };

    template <class W = QWidget>
    W* Widget(const ui::TControl& c) {
        W* w = qobject_cast<W*>(runtime->WidgetOf(c));
        EXPECT_NE(w, nullptr) << c.Name;
        return w;
    }
    // The button as the user clicks it; the click is handled before this returns.
    void Click(ui::TButton& b) {
        auto* w = qobject_cast<QAbstractButton*>(runtime->WidgetOf(b));
        ASSERT_NE(w, nullptr) << b.Name;
        w->click();
    }
    // A click that waits in the event queue until messages are next processed.
    void QueueClick(ui::TButton& b) { QMetaObject::invokeMethod(runtime->WidgetOf(b), "click", Qt::QueuedConnection); }
    // Where a control's widget belongs for a place in a layout table: there exactly, except
    // that a label sizing itself to its text grows when the font at hand is wider.
    QRect WidgetPlace(const ui::TControl& c, QRect table) {
        if (c.Kind() == ui::TComponentKind::Label) {
            const auto& l = static_cast<const ui::TLabel&>(c);
            QWidget* w = runtime->WidgetOf(c);
            if (w && l.AutoSize && !l.WordWrap && l.Align == ui::TAlign::None) {
                const QFontMetrics fm(w->font());
                table.setWidth(std::max(table.width(), fm.horizontalAdvance(QString::fromStdString(l.Caption))));
                table.setHeight(std::max(table.height(), fm.height()));
            }
        }
        return table;
    }
    static std::string IniReply(const std::string& ini) {
        return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(ini.size()) + "\r\n\r\n" + ini;
    }

    struct Box {
        std::string caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };
    TempDir dir;
    std::unique_ptr<ui::qt::TQtRuntime> runtime;
    std::vector<Box> boxes;
};

// How often a memo holds a line.
inline int CountLines(const ui::TRichMemo& m, const std::string& text) {
    int n = 0;
    for (const auto& l : m.Lines) n += l.Text == text;
    return n;
}
