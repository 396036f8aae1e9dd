#include "ui/qt/qt_runtime.h"

#include <QApplication>
#include <QEventLoop>
#include <QStyle>
#include <QStyleFactory>

#include "platform/scoped_value.h"
#include "ui/components.h"
#include "ui/form_registry.h"
#include "ui/qt/qt_form_binding.h"
#include "ui/qt/qt_timers.h"

using namespace platform;

namespace ui::qt {

struct TQtRuntime::State : TFormRegistry<TQtFormBinding> {
    explicit State(TQtRuntime& owner) : self(owner), timers(owner) {}

    TQtRuntime& self;
    int argc = 0;
    std::unique_ptr<QApplication> ownedApp;
    TQtTimers timers;
    QEventLoop* mainLoop = nullptr;
    TForm* mainLoopForm = nullptr;
    bool syncing = false;

    TQtFormBinding& Bind(TForm& f, bool modal) {
        if (TQtFormBinding* b = Find(f)) return *b;
        TQtFormBinding::Hooks hooks{[this](TForm& form) { self.CloseForm(form); }, [this] { SyncAll(); }};
        auto& b = forms[&f] = std::make_unique<TQtFormBinding>(f, modal, OwnerWindowOf(f), self, std::move(hooks));
        for (TComponent* c : f.Components)
            if (c->Kind() == TComponentKind::Timer) timers.Changed(static_cast<TTimer&>(*c));
        return *b;
    }

    void Unbind(const TForm& f) {
        if (!Take(f)) return;  // gone with it: no click or edit reaches the state any more
        timers.DropOwnedBy(&f);
        if (mainLoopForm == &f && mainLoop) mainLoop->exit(0);
    }

    void SyncAll() {
        if (syncing) return;
        {
            const ScopedValue<bool> busy(syncing, true);
            for (auto& [form, b] : forms) b->Sync();
            timers.Sync();
        }
        EndModalsWithResult();
    }

    void EndModalsWithResult() {
        for (auto& [form, b] : forms)
            if (b->Modal() && form->ModalResult != 0 && b->Window() && b->Window()->isVisible())
                b->Window()->done(form->ModalResult);
    }
};

TQtRuntime::TQtRuntime(int& argc, char** argv) : state_(std::make_unique<State>(*this)) {
    if (!QCoreApplication::instance()) {
        state_->argc = argc;
        state_->ownedApp = std::make_unique<QApplication>(state_->argc, argv);
    }
    // One look everywhere: the layouts are drawn for a plain, classic style.
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
        QApplication::setPalette(QApplication::style()->standardPalette());
        app->setQuitOnLastWindowClosed(false);
    }
}

TQtRuntime::~TQtRuntime() {
    while (!state_->forms.empty()) state_->Unbind(*state_->forms.begin()->first);
}

void TQtRuntime::Dispatch(const std::function<void()>& Action) {
    // Qt lets no exception through its event loop: it ends here, as the window system's
    // application object would end it.
    RunContained(Action, [this](const std::string& Message) { ReportUnhandled(Message); });
    state_->SyncAll();
}

void TQtRuntime::Sync() { state_->SyncAll(); }

void TQtRuntime::Forget(TForm& Form) { state_->Unbind(Form); }

QWidget* TQtRuntime::WindowOf(const TForm& Form) const {
    TQtFormBinding* b = state_->Find(Form);
    return b ? b->Window() : nullptr;
}

QWidget* TQtRuntime::WidgetOf(const TControl& Control) const {
    if (Control.Kind() == TComponentKind::Form) return WindowOf(static_cast<const TForm&>(Control));
    TQtControlView* v = state_->ViewOf(Control);
    return v ? &v->Widget() : nullptr;
}

void TQtRuntime::ProcessMessages() {
    state_->SyncAll();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TQtRuntime::ShowForm(TForm& Form) {
    TQtFormBinding& b = state_->Bind(Form, false);
    Form.Showing = true;
    state_->SyncAll();
    b.Position(Form.Position == TFormPosition::OwnerFormCenter ? state_->OwnerWindowOf(Form) : nullptr);
    b.Window()->show();
}

void TQtRuntime::CloseForm(TForm& Form) {
    Form.Showing = false;
    TQtFormBinding* b = state_->Find(Form);
    if (!b) return;
    if (b->Modal()) {
        if (Form.ModalResult == 0) Form.ModalResult = mrCancel;
        if (b->Window()) b->Window()->done(Form.ModalResult);
        return;
    }
    state_->Unbind(Form);
}

void TQtRuntime::RunMessageLoop(TForm& MainForm) {
    if (!MainForm.Showing) return;
    QEventLoop loop;
    // A nested loop hands the outer one back however it ends.
    const ScopedValue<QEventLoop*> mainLoop(state_->mainLoop, &loop);
    const ScopedValue<TForm*> mainLoopForm(state_->mainLoopForm, &MainForm);
    state_->SyncAll();
    LoopStarting(MainForm);
    while (MainForm.Showing && state_->Find(MainForm)) loop.exec();
}

int TQtRuntime::ShowModal(TForm& Form) {
    state_->Unbind(Form);  // a form shown modelessly before is made anew as a dialog
    TQtFormBinding& b = state_->Bind(Form, true);
    Form.ModalResult = 0;
    Form.Showing = true;
    state_->SyncAll();
    b.Position(Form.Position == TFormPosition::OwnerFormCenter ? state_->OwnerWindowOf(Form) : nullptr);
    b.Window()->setWindowModality(Qt::ApplicationModal);
    ModalShowing(Form);
    while (Form.ModalResult == 0) {
        TQtFormBinding* current = state_->Find(Form);  // a handler may have forgotten the form
        if (!current || !current->Window()) break;
        current->Window()->exec();
    }
    Form.Showing = false;
    const int result = Form.ModalResult;
    state_->Unbind(Form);
    return result;
}

void TQtRuntime::Repaint(TForm& Form) {
    TQtFormBinding* b = state_->Find(Form);
    if (!b || !b->Window()) return;
    state_->SyncAll();
    const int count = b->Repaint();
    Repainted(Form, count, &Form == state_->mainLoopForm);
}

void TQtRuntime::ScrollToCaret(TRichMemo& Memo) {
    if (TQtControlView* v = state_->ViewOf(Memo)) v->ScrollIntoView();
}

void TQtRuntime::TimerChanged(TTimer& Timer) { state_->timers.Changed(Timer); }
void TQtRuntime::TimerFreed(TTimer& Timer) { state_->timers.Freed(Timer); }

}  // namespace ui::qt
