#include "ui/qt/qt_runtime.h"

#include <QApplication>
#include <QEventLoop>
#include <QStyle>
#include <QStyleFactory>
#include <map>

#include "ui/components.h"
#include "ui/qt/qt_form_binding.h"
#include "ui/qt/qt_timers.h"

namespace {
constexpr int kModalCancel = 2;  // what closing a modal form by its close box returns
}

struct TQtRuntime::Impl {
    explicit Impl(TQtRuntime& self) : Self(self), Timers(self) {}

    TQtRuntime& Self;
    int Argc = 0;
    std::unique_ptr<QApplication> OwnedApp;
    std::map<const TForm*, std::unique_ptr<TQtFormBinding>> Forms;
    TQtTimers Timers;
    QEventLoop* MainLoop = nullptr;
    TForm* MainLoopForm = nullptr;
    bool Syncing = false;

    TQtFormBinding* Find(const TForm& f) const {
        auto it = Forms.find(&f);
        return it == Forms.end() ? nullptr : it->second.get();
    }
    TQtControlView* ViewOf(const TControl& c) const {
        for (auto& [form, b] : Forms)
            if (TQtControlView* v = b->ViewOf(c)) return v;
        return nullptr;
    }
    QWidget* OwnerWindowOf(const TForm& f) const {
        if (!f.Owner || f.Owner->Kind() != TComponentKind::Form) return nullptr;
        TQtFormBinding* ob = Find(static_cast<const TForm&>(*f.Owner));
        return ob ? ob->Window() : nullptr;
    }

    TQtFormBinding& Bind(TForm& f, bool modal) {
        if (TQtFormBinding* b = Find(f)) return *b;
        TQtFormBinding::Hooks hooks{[this](TForm& form) { Self.CloseForm(form); }, [this] { SyncAll(); }};
        auto& b = Forms[&f] = std::make_unique<TQtFormBinding>(f, modal, OwnerWindowOf(f), Self, std::move(hooks));
        for (TComponent* c : f.Components)
            if (c->Kind() == TComponentKind::Timer) Timers.Changed(static_cast<TTimer&>(*c));
        return *b;
    }

    void Unbind(const TForm& f) {
        auto it = Forms.find(&f);
        if (it == Forms.end()) return;
        std::unique_ptr<TQtFormBinding> b = std::move(it->second);
        Forms.erase(it);
        b.reset();  // no click or edit reaches the state any more
        Timers.DropOwnedBy(&f);
        if (MainLoopForm == &f && MainLoop) MainLoop->exit(0);
    }

    void SyncAll() {
        if (Syncing) return;
        Syncing = true;
        for (auto& [form, b] : Forms) b->Sync();
        Timers.Sync();
        Syncing = false;
        EndModalsWithResult();
    }

    void EndModalsWithResult() {
        for (auto& [form, b] : Forms)
            if (b->Modal() && form->ModalResult != 0 && b->Window() && b->Window()->isVisible())
                b->Window()->done(form->ModalResult);
    }
};

TQtRuntime::TQtRuntime(int& argc, char** argv) : d(std::make_unique<Impl>(*this)) {
    if (!QCoreApplication::instance()) {
        d->Argc = argc;
        d->OwnedApp = std::make_unique<QApplication>(d->Argc, argv);
    }
    // One look everywhere: the layouts are drawn for a plain, classic style.
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
        QApplication::setPalette(QApplication::style()->standardPalette());
        app->setQuitOnLastWindowClosed(false);
    }
}

TQtRuntime::~TQtRuntime() {
    while (!d->Forms.empty()) d->Unbind(*d->Forms.begin()->first);
}

void TQtRuntime::Dispatch(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const std::exception& e) {
        // Qt lets no exception through its event loop: it ends here, as the window
        // system's application object would end it.
        try {
            HandleApplicationException(e);
        } catch (const std::exception& unhandled) {
            ReportUnhandled(unhandled.what());
        } catch (...) {
            ReportUnhandled("Unknown error");
        }
    } catch (...) {
        ReportUnhandled("Unknown error");
    }
    d->SyncAll();
}

void TQtRuntime::Sync() { d->SyncAll(); }

void TQtRuntime::Forget(TForm& Form) { d->Unbind(Form); }

QWidget* TQtRuntime::WindowOf(const TForm& Form) const {
    TQtFormBinding* b = d->Find(Form);
    return b ? b->Window() : nullptr;
}

QWidget* TQtRuntime::WidgetOf(const TControl& Control) const {
    if (Control.Kind() == TComponentKind::Form) return WindowOf(static_cast<const TForm&>(Control));
    TQtControlView* v = d->ViewOf(Control);
    return v ? &v->Widget() : nullptr;
}

void TQtRuntime::ProcessMessages() {
    d->SyncAll();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TQtRuntime::ShowForm(TForm& Form) {
    TQtFormBinding& b = d->Bind(Form, false);
    Form.Showing = true;
    d->SyncAll();
    b.Position(Form.Position == TFormPosition::OwnerFormCenter ? d->OwnerWindowOf(Form) : nullptr);
    b.Window()->show();
}

void TQtRuntime::CloseForm(TForm& Form) {
    Form.Showing = false;
    TQtFormBinding* b = d->Find(Form);
    if (!b) return;
    if (b->Modal()) {
        if (Form.ModalResult == 0) Form.ModalResult = kModalCancel;
        if (b->Window()) b->Window()->done(Form.ModalResult);
        return;
    }
    d->Unbind(Form);
}

void TQtRuntime::RunMessageLoop(TForm& MainForm) {
    if (!MainForm.Showing) return;
    QEventLoop loop;
    QEventLoop* outerLoop = d->MainLoop;
    TForm* outerForm = d->MainLoopForm;
    d->MainLoop = &loop, d->MainLoopForm = &MainForm;
    d->SyncAll();
    LoopStarting(MainForm);
    while (MainForm.Showing && d->Find(MainForm)) loop.exec();
    d->MainLoop = outerLoop, d->MainLoopForm = outerForm;
}

int TQtRuntime::ShowModal(TForm& Form) {
    d->Unbind(Form);  // a form shown modelessly before is made anew as a dialog
    TQtFormBinding& b = d->Bind(Form, true);
    Form.ModalResult = 0;
    Form.Showing = true;
    d->SyncAll();
    b.Position(Form.Position == TFormPosition::OwnerFormCenter ? d->OwnerWindowOf(Form) : nullptr);
    b.Window()->setWindowModality(Qt::ApplicationModal);
    ModalShowing(Form);
    while (Form.ModalResult == 0) {
        TQtFormBinding* current = d->Find(Form);  // a handler may have forgotten the form
        if (!current || !current->Window()) break;
        current->Window()->exec();
    }
    Form.Showing = false;
    const int result = Form.ModalResult;
    d->Unbind(Form);
    return result;
}

void TQtRuntime::Repaint(TForm& Form) {
    TQtFormBinding* b = d->Find(Form);
    if (!b || !b->Window()) return;
    d->SyncAll();
    const int count = b->Repaint();
    Repainted(Form, count, &Form == d->MainLoopForm);
}

void TQtRuntime::ScrollToCaret(TRichMemo& Memo) {
    if (TQtControlView* v = d->ViewOf(Memo)) v->ScrollIntoView();
}

void TQtRuntime::TimerChanged(TTimer& Timer) { d->Timers.Changed(Timer); }
void TQtRuntime::TimerFreed(TTimer& Timer) { d->Timers.Freed(Timer); }
