// The product dialog's layout, the contact dialog, branding, and the message boxes.
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tests/ui/qt_fixture.h"
#include "ui/branding.h"
#include "ui/contact_dialog.h"
#include "ui/engine_dialog.h"
#include "ui/product_dialog.h"
#include "ui/qt/qt_style.h"
#include "ui/qt/qt_widgets.h"

using namespace ui::qt;
using namespace ui;

namespace {
using Forms = QtTest;

struct Place {
    const char* name;
    int left, top, width, height;
};

TControl* Find(TForm& form, const std::string& name) {
    for (TComponent* c : form.Components)
        if (c->Name == name) return dynamic_cast<TControl*>(c);
    return nullptr;
}

void ExpectLayout(QtTest& t, TQtRuntime& rt, TForm& form, const std::vector<Place>& table) {
    for (const Place& p : table) {
        SCOPED_TRACE(p.name);
        TControl* c = Find(form, p.name);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(QRect(c->Left, c->Top, c->Width, c->Height), QRect(p.left, p.top, p.width, p.height)) << "state";
        ASSERT_NE(rt.WidgetOf(*c), nullptr);
        EXPECT_EQ(rt.WidgetOf(*c)->geometry(), t.WidgetPlace(*c, QRect(p.left, p.top, p.width, p.height))) << "widget";
    }
}

TEST_F(Forms, ProductLayout) {
    ProductName = "Brinquet\xC2\xAE Express";
    TEngineDialog form;
    TProductDialogExtras extras(form);
    ApplyProductLayout(form, extras);
    ApplyProductName(form);
    extras.MoreInfoLabel.Visible = true;  // hidden at start; shown to measure it
    runtime->ShowForm(form);
    QWidget* window = runtime->WindowOf(form);
    EXPECT_EQ(window->size(), QSize(407, 282));
    EXPECT_EQ(window->windowTitle().toStdString(), "Brinquet\xC2\xAE Express Updater");
    ExpectLayout(*this, *runtime, form,
                 {{"JobTitlePanel", 0, 0, 407, 33},
                  {"JobLabel", 0, 0, 323, 33},
                  {"Animate1", 327, 2, 16, 16},
                  {"ProgressPanel", 0, 33, 407, 32},
                  {"Label1", 2, 0, 102, 15},
                  {"ProgressBar", 0, 16, 407, 16},
                  {"ExternalAppPanel", 0, 65, 407, 0},
                  {"ActionPanel", 0, 65, 407, 184},
                  {"Panel1", 0, 0, 407, 17},
                  {"Label2", 2, 1, 32, 15},
                  {"ProgressMemo", 0, 17, 407, 167},
                  {"BottomPanel", 0, 249, 407, 33},
                  {"ButtonPanel", 31, 0, 376, 33},
                  {"MoreInfoLabel", 24, 11, 111, 15},
                  {"StopBitBtn", 104, 5, 75, 25},
                  {"ProceedBitBtn", 184, 5, 89, 25},
                  {"CloseBtn", 296, 5, 75, 25}});
    EXPECT_FALSE(qobject_cast<QFrame*>(runtime->WidgetOf(form.JobTitlePanel))->frameShape() != QFrame::NoFrame);
    EXPECT_EQ(qobject_cast<QLabel*>(runtime->WidgetOf(form.JobLabel))->text().toStdString(),
              "Checking for Brinquet\xC2\xAE Express Updates");
    EXPECT_EQ(runtime->WidgetOf(form.JobLabel)->font().pixelSize(), 12) << "the window's font";
    EXPECT_EQ(runtime->WidgetOf(form.JobLabel)->font().family(), ResolveFamily("Segoe UI"));
    EXPECT_TRUE(runtime->WidgetOf(form.StopBitBtn)->isHidden());
    EXPECT_FALSE(runtime->WidgetOf(form.ProceedBitBtn)->isEnabled());
    EXPECT_EQ(runtime->WidgetOf(extras.MoreInfoLabel)->palette().color(QPalette::WindowText),
              ResolveColor(clHighlight));
    auto* busy = dynamic_cast<TQtBusyIndicator*>(runtime->WidgetOf(extras.Animate1));
    ASSERT_NE(busy, nullptr);
    EXPECT_TRUE(busy->Active());
    const int frame = busy->Frame();
    QTest::qWait(250);
    EXPECT_NE(busy->Frame(), frame) << "it spins";
    EXPECT_FALSE(extras.ProceedTimer.Enabled);
    EXPECT_EQ(extras.ProceedTimer.Interval, 50);

    // Stop stays hidden, so Esc does nothing here.
    int stops = 0;
    form.StopBitBtn.OnClick = [&] { ++stops; };
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(stops, 0);
    runtime->Forget(form);
}

TEST_F(Forms, ContactDialogLayoutAndModalResult) {
    ProductName = "Brinquet\xC2\xAE Express";
    TEngineDialog owner;
    runtime->ShowForm(owner);
    const struct {
        const char* what;
        bool pressOk;
        int result;
    } cases[] = {{"OK", true, mrOk}, {"close box", false, mrCancel}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TContactDialog contact(&owner);
        ApplyProductName(contact);
        contact.ContactNameEdit.Text = "Old Name";
        QTimer::singleShot(0, [&] {
            QWidget* window = runtime->WindowOf(contact);
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(window->size(), QSize(313, 204));
            EXPECT_EQ(window->windowTitle(), "");
            EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "fixed frame";
            const Qt::WindowFlags flags = window->windowFlags();
            EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
            EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
            EXPECT_LE((window->frameGeometry().center() - runtime->WindowOf(owner)->frameGeometry().center())
                          .manhattanLength(),
                      1)
                << "centred over its owner";
            ExpectLayout(*this, *runtime, contact,
                         {{"Label1", 8, 16, 293, 45},
                          {"Label2", 8, 77, 44, 13},
                          {"ContactNameEdit", 8, 93, 297, 23},
                          {"Label3", 8, 120, 29, 13},
                          {"EmailEdit", 8, 135, 297, 23},
                          {"BitBtn1", 119, 168, 75, 25}});
            EXPECT_EQ(qobject_cast<QLabel*>(runtime->WidgetOf(contact.Label1))->text().toStdString(),
                      "Please take a moment to provide a contact name and email to receive information about "
                      "Brinquet\xC2\xAE Express.");
            EXPECT_TRUE(qobject_cast<QLabel*>(runtime->WidgetOf(contact.Label1))->wordWrap());
            EXPECT_TRUE(runtime->WidgetOf(contact.Label2)->font().bold());
            EXPECT_EQ(runtime->WidgetOf(contact.Label2)->font().pixelSize(), 11);
            auto* name = qobject_cast<QLineEdit*>(runtime->WidgetOf(contact.ContactNameEdit));
            EXPECT_EQ(name->text(), "Old Name");
            name->selectAll();
            QTest::keyClicks(name, "Pat Example");
            QTest::keyClicks(runtime->WidgetOf(contact.EmailEdit), "pat@example.com");
            if (c.pressOk)
                QTest::keyClick(name, Qt::Key_Return);  // OK is the default button
            else
                window->close();
        });
        EXPECT_EQ(contact.ShowModal(), c.result);
        EXPECT_EQ(contact.ContactNameEdit.Text, "Pat Example");
        EXPECT_EQ(contact.EmailEdit.Text, "pat@example.com");
        EXPECT_FALSE(contact.Showing);
        EXPECT_EQ(runtime->WindowOf(contact), nullptr) << "gone with the dialog";
    }
    runtime->Forget(owner);
}

TEST_F(Forms, BrandingFillsFormsLabelsAndPanelsOnly) {
    ProductName = "Brinquet\xC2\xAE Express";
    const std::string brand = ProductName;
    TForm form("Form");
    form.Caption = "%S Updater for %s";
    form.ClientWidth = form.Width = 200, form.ClientHeight = form.Height = 100;
    TPanel panel(&form, &form, "Panel");
    panel.Caption = "%s panel";
    TLabel label(&form, &panel, "Label");
    label.Caption = "About %s and %S.";
    TButton button(&form, &form, "Button");
    button.Caption = "%s button";
    TEdit edit(&form, &form, "Edit");
    edit.Caption = "%s";
    edit.Text = "%s text";
    TRichMemo memo(&form, &form, "Memo");
    memo.Append("%s line");

    ApplyProductName(form);
    EXPECT_EQ(form.Caption, brand + " Updater for " + brand);
    EXPECT_EQ(panel.Caption, brand + " panel");
    EXPECT_EQ(label.Caption, "About " + brand + " and " + brand + ".");
    EXPECT_EQ(button.Caption, "%s button");
    EXPECT_EQ(edit.Caption, "%s");
    EXPECT_EQ(edit.Text, "%s text");
    EXPECT_EQ(memo.Lines[0].Text, "%s line");

    runtime->ShowForm(form);
    EXPECT_EQ(runtime->WindowOf(form)->windowTitle().toStdString(), form.Caption);
    EXPECT_EQ(qobject_cast<QLabel*>(runtime->WidgetOf(label))->text().toStdString(), label.Caption);
    EXPECT_EQ(qobject_cast<QPushButton*>(runtime->WidgetOf(button))->text(), "%s button");
    runtime->Forget(form);
}

TEST_F(Forms, MessageBoxesCarryTheirCaptionsAndButtons) {
    std::vector<std::string> seen;
    bool answerYes = true;
    runtime->OnMessageBox = [&](QMessageBox& box) -> QAbstractButton* {
        std::string buttons;
        for (QAbstractButton* b : box.buttons()) buttons += "[" + b->text().toStdString() + "]";
        seen.push_back(box.windowTitle().toStdString() + "|" + box.text().toStdString() + "|" + buttons + "|" +
                       std::to_string(int(box.icon())) + "|" + (box.parentWidget() ? "parent" : "screen"));
        for (QAbstractButton* b : box.buttons())
            if (b->text() == (answerYes ? "&Yes" : "&No") || b->text() == "OK") return b;
        return nullptr;
    };
    runtime->ShowMessage("Update error: x");
    EXPECT_TRUE(runtime->Confirm("Run it?"));
    answerYes = false;
    EXPECT_FALSE(runtime->Confirm("Run it?"));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "Brinquet\xC2\xAE Express Updater|Update error: x|[OK]|" +
                           std::to_string(int(QMessageBox::NoIcon)) + "|screen");
    const std::string confirm = "Confirm|Run it?|";
    EXPECT_EQ(seen[1].substr(0, confirm.size()), confirm);
    EXPECT_NE(seen[1].find("[&Yes]"), std::string::npos) << seen[1];
    EXPECT_NE(seen[1].find("[&No]"), std::string::npos) << seen[1];
    EXPECT_NE(seen[1].find("|" + std::to_string(int(QMessageBox::Question)) + "|screen"), std::string::npos) << seen[1];
}
}  // namespace
