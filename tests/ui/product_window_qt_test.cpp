// The product window on the real widgets: its layout while a file runs, the link under the
// pointer, and the contact dialog as a modal dialog a person answers.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <filesystem>

#include "platform/ini_file.h"
#include "product/brinquet_express_update_dialog.h"
#include "tests/ui/qt_fixture.h"
#include "ui/qt/qt_widgets.h"

using namespace engine;
using namespace product;
using namespace ui::qt;
using namespace ui;

namespace {
class ProductWindow : public QtTest {
public:
    void SetUp() override {
        QtTest::SetUp();
        ProductName = "Brinquet\xC2\xAE Express";
        form = CreateForm<TzelBrinquetUpdaterDialogForm>();
        // Shown without FormShow: its timer would start an update.
        runtime->ShowForm(*form);
    }
    void TearDown() override {
        runtime->Forget(*form);
        form.reset();
        QtTest::TearDown();
    }
    std::unique_ptr<TzelBrinquetUpdaterDialogForm, void (*)(TzelCustUpdaterDialogForm*)> form{nullptr, &DestroyForm};
};

TEST_F(ProductWindow, APanelsHiddenRunMakesTheWindowTallerAndAfterwardsAsShown) {
    QWidget* window = runtime->WindowOf(*form);
    QWidget* memo = runtime->WidgetOf(form->ProgressMemo);
    const int height = window->height(), memoHeight = memo->height();
    auto* busy = dynamic_cast<TQtBusyIndicator*>(runtime->WidgetOf(form->Animate1));
    ASSERT_NE(busy, nullptr);
    EXPECT_TRUE(busy->Active());
    EXPECT_EQ(busy->geometry(), QRect(327, 2, 16, 16));

    form->BeforeRunFile("x.exe");
    runtime->ProcessMessages();
    EXPECT_EQ(window->height(), height + 75);
    EXPECT_EQ(memo->height(), memoHeight + 140);
    EXPECT_EQ(runtime->WidgetOf(form->JobTitlePanel)->height(), 0);
    EXPECT_EQ(runtime->WidgetOf(form->ProgressPanel)->height(), 0);
    EXPECT_FALSE(runtime->WidgetOf(form->CloseBtn)->isEnabled());

    form->AfterRunFile("x.exe");
    runtime->ProcessMessages();
    EXPECT_EQ(window->height(), height);
    EXPECT_EQ(memo->height(), memoHeight);
    EXPECT_EQ(runtime->WidgetOf(form->JobTitlePanel)->height(), 33);
    EXPECT_TRUE(runtime->WidgetOf(form->CloseBtn)->isEnabled());
}

TEST_F(ProductWindow, TheLinkUnderlinesUnderThePointer) {
    form->MoreInfoLabel.Visible = true;
    runtime->ProcessMessages();
    auto* link = qobject_cast<QLabel*>(runtime->WidgetOf(form->MoreInfoLabel));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), link->palette().color(QPalette::Highlight));
    EXPECT_FALSE(link->font().underline());
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(link, &enter);
    EXPECT_TRUE(link->font().underline());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    EXPECT_FALSE(link->font().underline());
}

TEST_F(ProductWindow, TheContactDialogIsAModalAnswer) {
    std::filesystem::create_directories(dir.File("Utils"));
    dir.Write("Utils/Contact.ini", "[MAIN]\r\nContact=Old\r\nEmail=old@x.org\r\n");
    std::string prefilled, label;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        EXPECT_TRUE(modal->isModal());
        auto* name = modal->findChild<QLineEdit*>("ContactNameEdit");
        auto* email = modal->findChild<QLineEdit*>("EmailEdit");
        ASSERT_TRUE(name && email);
        prefilled = name->text().toStdString();
        label = modal->findChild<QLabel*>("Label1")->text().toStdString();
        name->setText("Ann");  // as typed: through the edit's signal
        name->textEdited("Ann");
        email->setText("ann@x.org");
        email->textEdited("ann@x.org");
        modal->findChild<QPushButton*>("BitBtn1")->click();
    });
    EXPECT_TRUE(form->AskContactDetails());
    EXPECT_EQ(prefilled, "Old");
    EXPECT_EQ(label,
              "Please take a moment to provide a contact name and email to receive information about "
              "Brinquet\xC2\xAE Express.");
    EXPECT_EQ(form->ContactName(), "Ann");
    EXPECT_EQ(form->Email(), "ann@x.org");
    EXPECT_EQ(dir.Read("Utils/Contact.ini"), "[MAIN]\r\nContact=Ann\r\nEmail=ann@x.org\r\n");
    for (TComponent* c : form->Components) EXPECT_NE(c->Name, "ContactForm") << "the freed dialog left no trace";
}
}  // namespace
