// The product window on the real widgets: its layout while a file runs, the link under the
// pointer, and the contact dialog as a modal dialog a person answers.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <filesystem>

#include "platform/ini_file.h"
#include "product/brinquet_express_update_dialog.h"
#include "tests/support/real_peers.h"
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

// Every title the update shows stays clear of the busy indicator (at any scale: the suite
// also runs at 150 %), and the indicator stops when the update has ended in an error.
TEST_F(ProductWindow, TheTitleKeepsClearOfTheBusyIndicatorWhichStopsAtTheEnd) {
    QWidget* window = runtime->WindowOf(*form);
    auto* label = Widget<QLabel>(form->JobLabel);
    auto* busy = dynamic_cast<TQtBusyIndicator*>(runtime->WidgetOf(form->Animate1));
    ASSERT_TRUE(label && busy);
    const QRect indicator(busy->mapTo(window, QPoint()), busy->size());
    for (const char* caption :
         {"Checking for Brinquet\xC2\xAE Express Updates", "Checking for updates.",
          "Ready to run update process from downloaded files.", "Problem", "Upgrading", "Done."}) {
        SCOPED_TRACE(caption);
        form->JobLabel.Caption = caption;
        runtime->ProcessMessages();
        const QRect text =
            label->fontMetrics()
                .boundingRect(label->contentsRect(), int(label->alignment()) | Qt::TextWordWrap, label->text())
                .translated(label->mapTo(window, QPoint()));
        EXPECT_FALSE(text.intersects(indicator))
            << "text " << text.x() << "+" << text.width() << ", indicator at " << indicator.x();
        EXPECT_GE(text.top(), label->mapTo(window, QPoint()).y()) << "the text fits the title's height";
    }
    EXPECT_TRUE(busy->Active());
    form->ProgressBar.Position = 60;
    Application().Params = {"SERVERPATH=http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/"};
    const auto cwd = std::filesystem::current_path();
    form->InitializeIt();                 // it makes the program folder current
    EXPECT_ANY_THROW(form->UpdateNow());  // the product's first load fails outside the engine's handling
    std::filesystem::current_path(cwd);
    runtime->ProcessMessages();
    EXPECT_FALSE(busy->Active());
    EXPECT_EQ(Widget<QProgressBar>(form->ProgressBar)->value(), 0) << "a failed update leaves the bar empty";
}

// A listed file's run that ends in an error gives the window back before the error goes on:
// panels and height as shown, Close enabled, and a click on it closes the window.
TEST_F(ProductWindow, ARunsErrorGivesTheWindowBackAndCloseEndsIt) {
    QWidget* window = runtime->WindowOf(*form);
    const int height = window->height();
    dir.Write("slow.sh", "#!/bin/sh\nsleep 5\n", 0755);
    const struct {
        const char* name;
        const char* file;
        const char* wait;
    } cases[] = {{"time-out", "slow.sh", "200"}, {"shell failure", "missing.exe", "0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form->ServerIniList().Clear();
        form->ServerIniList().Add(std::string("FILE0WAIT=") + c.wait);
        EXPECT_ANY_THROW(form->RunFile(c.file, true, false, serverini::TServerIni::EntryAt(form->ServerIniList(), 0)));
        runtime->ProcessMessages();
        EXPECT_EQ(window->height(), height);
        EXPECT_EQ(runtime->WidgetOf(form->JobTitlePanel)->height(), 33);
        EXPECT_EQ(runtime->WidgetOf(form->ProgressPanel)->height(), 32);
        EXPECT_TRUE(runtime->WidgetOf(form->CloseBtn)->isEnabled());
    }
    Click(form->CloseBtn);
    EXPECT_FALSE(form->Showing);
    EXPECT_EQ(runtime->WindowOf(*form), nullptr) << "the window is gone";
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
