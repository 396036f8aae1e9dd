#include "ui/qt/qt_form_binding.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "platform/scoped_value.h"
#include "ui/control_align.h"
#include "ui/form_keys.h"
#include "ui/qt/qt_style.h"
#include "ui/runtime.h"
#include "ui/user_close.h"

using namespace platform;

namespace ui::qt {

namespace {
constexpr int kRepaintGapMs = 15;  // a download repaints per block; the eye needs no more

Qt::WindowFlags FlagsOf(const TForm& f, bool dialog) {
    Qt::WindowFlags flags = (dialog ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (f.CloseBoxOnly)
        flags |= Qt::WindowCloseButtonHint;
    else if (f.BorderIcons)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
    if (!f.Sizeable) flags |= Qt::MSWindowsFixedSizeDialogHint;
    return flags;
}
}  // namespace

TQtFormBinding::TQtFormBinding(TForm& Form, bool Modal, QWidget* Owner, TEventSink& Sink, Hooks AHooks)
    : form_(Form), modal_(Modal), sink_(Sink), hooks_(std::move(AHooks)) {
    auto* w = new TQtFormWindow(Owner);
    window_ = w;
    w->setObjectName(QString::fromStdString(Form.Name));
    w->setWindowFlags(FlagsOf(Form, Owner || Modal));
    w->setSizeGripEnabled(false);
    w->setAutoFillBackground(true);
    w->OnKey = [this](QKeyEvent& e) { return Key(e); };
    w->OnUserResize = [this](int cw, int ch) { UserResized(cw, ch); };
    w->OnCloseRequest = [this] { return CloseRequested(); };
    for (TControl* c : Form.Controls) Build(*c, w);
    ChainTabOrder();
}

TQtFormBinding::~TQtFormBinding() {
    for (auto& [control, view] : views_) view->Detach();
    if (TQtFormWindow* w = window_) {
        w->OnKey = nullptr;
        w->OnUserResize = nullptr;
        w->OnCloseRequest = nullptr;
        w->hide();
        // It may be inside one of its own buttons' click right now.
        w->deleteLater();
    }
}

TQtControlView* TQtFormBinding::ViewOf(const TControl& Control) const {
    auto it = views_.find(&Control);
    return it == views_.end() ? nullptr : it->second.get();
}

void TQtFormBinding::Build(TControl& Control, QWidget* Parent) {
    std::unique_ptr<TQtControlView> view = Binders().Make(Control, Parent, sink_);
    if (!view) return;  // forms nest no forms; timers and events are not controls
    QWidget& w = view->Widget();
    w.setObjectName(QString::fromStdString(Control.Name));
    views_[&Control] = std::move(view);
    for (TControl* child : Control.Controls) Build(*child, &w);
}

// Tab moves through each container's controls by their tab order.
void TQtFormBinding::ChainTabOrder() {
    std::vector<QWidget*> chain;
    std::function<void(TControl&)> walk = [&](TControl& parent) {
        std::vector<TControl*> kids(parent.Controls.begin(), parent.Controls.end());
        std::stable_sort(kids.begin(), kids.end(), [](TControl* x, TControl* y) { return x->TabOrder < y->TabOrder; });
        for (TControl* k : kids) {
            if (TQtControlView* v = ViewOf(*k); v && v->Widget().focusPolicy() & Qt::TabFocus)
                chain.push_back(&v->Widget());
            walk(*k);
        }
    };
    walk(form_);
    for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TQtFormBinding::Sync() {
    TForm& f = form_;
    TQtFormWindow* w = window_;
    if (!w) return;
    size_.Sync(f);
    AlignForm(f);
    {
        const ScopedValue<bool> fromState(w->ResizingFromState, true);
        const QSize client(f.ClientWidth, f.ClientHeight);
        if (!f.Sizeable) {
            if (w->minimumSize() != client || w->maximumSize() != client) w->setFixedSize(client);
        } else if (w->size() != client) {
            w->resize(client);
        }
    }
    const QString title = QString::fromStdString(f.Caption);
    if (w->windowTitle() != title) w->setWindowTitle(title);
    const QFont font = ResolveFont(f.Font);
    if (w->font() != font) w->setFont(font);
    SetPaletteColor(*w, QPalette::Window, ResolveColor(f.Color));
    SetPaletteColor(*w, QPalette::WindowText, ResolveColor(f.Font.Color));
    for (TControl* c : f.Controls) SyncControl(*c, w);
}

void TQtFormBinding::SyncControl(TControl& Control, QWidget* Parent) {
    TQtControlView* view = ViewOf(Control);
    if (!view) {  // added after the window was made
        Build(Control, Parent);
        if (!(view = ViewOf(Control))) return;
    }
    QWidget& w = view->Widget();
    const QFont font = ResolveFont(EffectiveFont(Control));
    if (w.font() != font) w.setFont(font);
    QRect geometry(Control.Left, Control.Top, std::max(0, Control.Width), std::max(0, Control.Height));
    view->Sync(geometry);
    if (w.geometry() != geometry) w.setGeometry(geometry);
    if (w.isHidden() == Control.Visible) w.setVisible(Control.Visible);
    if (w.isEnabled() != Control.Enabled) w.setEnabled(Control.Enabled);
    for (TControl* child : Control.Controls) SyncControl(*child, &w);
}

void TQtFormBinding::Position(QWidget* OwnerWindow) {
    if (positioned_ || !window_) return;
    positioned_ = true;
    QWidget* around = OwnerWindow && OwnerWindow->isVisible() ? OwnerWindow : nullptr;
    QScreen* screen = around ? around->screen() : QGuiApplication::primaryScreen();
    const QPoint centre = around   ? around->frameGeometry().center()
                          : screen ? screen->availableGeometry().center()
                                   : QPoint();
    // The whole window is centred, its frame included: make it, so its frame is known.
    window_->winId();
    const QMargins frame = window_->windowHandle() ? window_->windowHandle()->frameMargins() : QMargins();
    const QSize outer(form_.ClientWidth + frame.left() + frame.right(),
                      form_.ClientHeight + frame.top() + frame.bottom());
    window_->move(centre - QPoint((outer.width() - 1) / 2, (outer.height() - 1) / 2));
}

int TQtFormBinding::Repaint() {
    if (!window_) return repaints_;
    if (!sinceRepaint_.isValid() || sinceRepaint_.elapsed() >= kRepaintGapMs) {
        window_->repaint();
        sinceRepaint_.restart();
    } else {
        window_->update();
    }
    return ++repaints_;
}

bool TQtFormBinding::Key(QKeyEvent& Event) {
    const int k = Event.key();
    if (k != Qt::Key_Escape && k != Qt::Key_Return && k != Qt::Key_Enter) return false;
    if (Event.modifiers() & ~(Qt::KeypadModifier)) return false;
    TButton* focused = nullptr;
    for (auto& [control, view] : views_)
        if (&view->Widget() == window_->focusWidget() && view->Button()) focused = view->Button();
    TButton* target = ButtonForKey(form_, k == Qt::Key_Escape ? TFormKey::Escape : TFormKey::Enter, focused);
    if (target) sink_.Dispatch([target] { PressButton(*target); });
    return true;
}

void TQtFormBinding::UserResized(int ClientWidth, int ClientHeight) {
    TForm& f = form_;
    if (ClientWidth == f.ClientWidth && ClientHeight == f.ClientHeight) return;
    size_.ClientResized(f, ClientWidth, ClientHeight);
    if (hooks_.SyncAll) hooks_.SyncAll();
}

// True lets Qt close the window: only a modal dialog's, whose loop then ends; CloseForm has
// hidden any other already.
bool TQtFormBinding::CloseRequested() {
    return RequestUserClose(form_, modal_, sink_, hooks_.CloseForm) == TUserClose::EndsModal;
}

}  // namespace ui::qt
