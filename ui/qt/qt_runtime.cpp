#include "ui/qt/qt_runtime.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "ui/application.h"
#include "ui/components.h"
#include "ui/qt/control_align.h"
#include "ui/qt/glyphs.h"
#include "ui/qt/qt_style.h"
#include "ui/qt/qt_widgets.h"
#include "ui/qt/screenshot_plan.h"

namespace {
constexpr int kModalCancel = 2;   // what closing a modal form by its close box returns
constexpr int kRepaintGapMs = 15;  // a download repaints per block; the eye needs no more

TForm* FormOf(TControl& c) {
    TControl* p = &c;
    while (p && p->Kind() != TComponentKind::Form) p = p->Parent;
    return static_cast<TForm*>(p);
}

// One memo line is one paragraph: line breaks inside a status text stay inside its line.
QString LineText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    s.replace(QLatin1Char('\r'), QChar::LineSeparator);
    s.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return s;
}

QTextCharFormat LineFormat(const TRichMemo::Line& line) {
    QTextCharFormat f;
    f.setForeground(ResolveColor(line.Color));
    f.setFontWeight(line.Bold ? QFont::Bold : QFont::Normal);
    return f;
}

void SetPaletteColor(QWidget& w, QPalette::ColorRole role, const QColor& c) {
    if (w.palette().color(role) == c) return;
    QPalette pal = w.palette();
    pal.setColor(role, c);
    w.setPalette(pal);
}
}  // namespace

struct TQtRuntime::Impl {
    struct MemoState {
        size_t Shown = 0;  // lines already in the document
        std::string Last;  // text of the last of them, to notice a replaced list
    };
    struct Binding {
        TForm* Form = nullptr;
        QPointer<TQtFormWindow> Window;
        // Owns the connections to the state: deleting it cuts them all at once.
        std::unique_ptr<QObject> Guard = std::make_unique<QObject>();
        std::unordered_map<const TControl*, QWidget*> Widgets;
        std::unordered_map<const TRichMemo*, MemoState> Memos;
        std::unordered_map<const TEdit*, std::string> Edits;  // text last given to the widget
        int SyncedW = -1, SyncedH = -1, SyncedClientW = -1, SyncedClientH = -1;
        bool Positioned = false;
        bool Modal = false;
        int Repaints = 0;
        QElapsedTimer SinceRepaint;
    };

    TQtRuntime* Self = nullptr;
    int Argc = 0;
    std::unique_ptr<QApplication> OwnedApp;
    std::map<const TForm*, std::unique_ptr<Binding>> Forms;
    struct TimerBinding {
        QPointer<QTimer> Timer;
        const TComponent* Owner = nullptr;  // its timers go with the form that owns them
    };
    std::map<TTimer*, TimerBinding> Timers;
    QEventLoop* MainLoop = nullptr;
    TForm* MainLoopForm = nullptr;
    TScreenshotPlan Shots;
    bool Syncing = false;

    Binding* Find(const TForm& f) const {
        auto it = Forms.find(&f);
        return it == Forms.end() ? nullptr : it->second.get();
    }
    Binding* FindOwning(const TControl& c) const {
        for (auto& [form, b] : Forms)
            if (b->Widgets.count(&c)) return b.get();
        return nullptr;
    }

    // ---- Building --------------------------------------------------------------------

    Binding& Bind(TForm& f, bool modal) {
        if (Binding* b = Find(f)) return *b;
        auto b = std::make_unique<Binding>();
        b->Form = &f;
        b->Modal = modal;
        QWidget* ownerWindow = nullptr;
        if (f.Owner && f.Owner->Kind() == TComponentKind::Form)
            if (Binding* ob = Find(*static_cast<TForm*>(f.Owner))) ownerWindow = ob->Window;
        auto* w = new TQtFormWindow(ownerWindow);
        b->Window = w;
        w->setObjectName(QString::fromStdString(f.Name));
        Qt::WindowFlags flags = (ownerWindow || modal ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint |
                                Qt::WindowTitleHint;
        if (f.CloseBoxOnly)
            flags |= Qt::WindowCloseButtonHint;
        else if (f.BorderIcons)
            flags |= Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
        if (!f.Sizeable) flags |= Qt::MSWindowsFixedSizeDialogHint;
        w->setWindowFlags(flags);
        w->setSizeGripEnabled(false);
        w->setAutoFillBackground(true);
        Binding* raw = b.get();
        w->OnKey = [this, raw](QKeyEvent& e) { return Key(*raw, e); };
        w->OnUserResize = [this, raw](int cw, int ch) { UserResized(*raw, cw, ch); };
        w->OnCloseRequest = [this, raw] { return CloseRequested(*raw); };
        for (TControl* c : f.Controls) Build(*raw, *c, w);
        for (TComponent* c : f.Components)
            if (c->Kind() == TComponentKind::Timer) Self->TimerChanged(static_cast<TTimer&>(*c));
        ChainTabOrder(*raw);
        Forms.emplace(&f, std::move(b));
        return *raw;
    }

    void Build(Binding& b, TControl& c, QWidget* parent) {
        QWidget* w = nullptr;
        switch (c.Kind()) {
        case TComponentKind::Panel: {
            auto* frame = new QFrame(parent);
            frame->setAutoFillBackground(true);
            w = frame;
            break;
        }
        case TComponentKind::Label: {
            auto* label = new TQtLabel(parent);
            auto& l = static_cast<TLabel&>(c);
            label->setTextFormat(Qt::PlainText);
            label->OnClick = [this, &l] { Call(l.OnClick); };
            label->OnEnter = [this, &l] { Call(l.OnMouseEnter); };
            label->OnLeave = [this, &l] { Call(l.OnMouseLeave); };
            if (l.OnClick) label->setCursor(Qt::PointingHandCursor);  // a link
            w = label;
            break;
        }
        case TComponentKind::Button: {
            auto* button = new QPushButton(parent);
            auto& t = static_cast<TButton&>(c);
            button->setAutoDefault(false);
            button->setDefault(false);
            button->setIcon(GlyphIcon(t.Glyph, t.GlyphSize));
            button->setIconSize(QSize(t.GlyphSize, t.GlyphSize));
            QObject::connect(button, &QPushButton::clicked, b.Guard.get(), [this, &t] { Dispatch([&t] { Press(t); }); });
            w = button;
            break;
        }
        case TComponentKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setTextVisible(false);
            w = bar;
            break;
        }
        case TComponentKind::RichMemo: {
            auto* memo = new QTextEdit(parent);
            auto& m = static_cast<TRichMemo&>(c);
            memo->setReadOnly(m.ReadOnly);
            memo->setUndoRedoEnabled(false);
            memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            memo->setVerticalScrollBarPolicy(m.VerticalScrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
            memo->setLineWrapMode(QTextEdit::WidgetWidth);
            memo->setAutoFillBackground(true);
            b.Memos[&m] = {};
            w = memo;
            break;
        }
        case TComponentKind::Edit: {
            auto* edit = new QLineEdit(parent);
            auto& e = static_cast<TEdit&>(c);
            QObject::connect(edit, &QLineEdit::textEdited, b.Guard.get(), [&b, &e](const QString& text) {
                e.Text = text.toStdString();
                b.Edits[&e] = e.Text;
            });
            b.Edits[&e] = "";
            w = edit;
            break;
        }
        case TComponentKind::Animate: w = new TQtBusyIndicator(parent); break;
        default: return;  // forms nest no forms; timers and events are not controls
        }
        w->setObjectName(QString::fromStdString(c.Name));
        b.Widgets[&c] = w;
        for (TControl* child : c.Controls) Build(b, *child, w);
    }

    // Tab moves through each container's controls by their tab order.
    void ChainTabOrder(Binding& b) {
        std::vector<QWidget*> chain;
        std::function<void(TControl&)> walk = [&](TControl& parent) {
            std::vector<TControl*> kids(parent.Controls.begin(), parent.Controls.end());
            std::stable_sort(kids.begin(), kids.end(), [](TControl* x, TControl* y) { return x->TabOrder < y->TabOrder; });
            for (TControl* k : kids) {
                auto it = b.Widgets.find(k);
                if (it != b.Widgets.end() && it->second->focusPolicy() & Qt::TabFocus) chain.push_back(it->second);
                walk(*k);
            }
        };
        walk(*b.Form);
        for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
    }

    // ---- State -> widgets ------------------------------------------------------------

    void SyncAll() {
        if (Syncing) return;
        Syncing = true;
        for (auto& [form, b] : Forms) SyncForm(*b);
        SyncTimers();
        Syncing = false;
        EndModalsWithResult();
    }

    void SyncForm(Binding& b) {
        TForm& f = *b.Form;
        TQtFormWindow* w = b.Window;
        if (!w) return;
        // Whichever of the outer and the client size the code changed moves the other.
        if (b.SyncedW >= 0) {
            if (f.Width != b.SyncedW && f.ClientWidth == b.SyncedClientW) f.ClientWidth += f.Width - b.SyncedW;
            else if (f.ClientWidth != b.SyncedClientW && f.Width == b.SyncedW) f.Width += f.ClientWidth - b.SyncedClientW;
            if (f.Height != b.SyncedH && f.ClientHeight == b.SyncedClientH) f.ClientHeight += f.Height - b.SyncedH;
            else if (f.ClientHeight != b.SyncedClientH && f.Height == b.SyncedH) f.Height += f.ClientHeight - b.SyncedClientH;
        }
        f.ClientWidth = std::max(0, f.ClientWidth), f.ClientHeight = std::max(0, f.ClientHeight);
        b.SyncedW = f.Width, b.SyncedH = f.Height, b.SyncedClientW = f.ClientWidth, b.SyncedClientH = f.ClientHeight;
        AlignForm(f);

        w->ResizingFromState = true;
        if (!f.Sizeable) {
            if (w->minimumSize() != QSize(f.ClientWidth, f.ClientHeight) ||
                w->maximumSize() != QSize(f.ClientWidth, f.ClientHeight))
                w->setFixedSize(f.ClientWidth, f.ClientHeight);
        } else if (w->size() != QSize(f.ClientWidth, f.ClientHeight)) {
            w->resize(f.ClientWidth, f.ClientHeight);
        }
        w->ResizingFromState = false;
        const QString title = QString::fromStdString(f.Caption);
        if (w->windowTitle() != title) w->setWindowTitle(title);
        const QFont font = ResolveFont(f.Font);
        if (w->font() != font) w->setFont(font);
        SetPaletteColor(*w, QPalette::Window, ResolveColor(f.Color));
        SetPaletteColor(*w, QPalette::WindowText, ResolveColor(f.Font.Color));
        for (TControl* c : f.Controls) SyncControl(b, *c, w);
    }

    void SyncControl(Binding& b, TControl& c, QWidget* parent) {
        auto it = b.Widgets.find(&c);
        if (it == b.Widgets.end()) {  // added after the window was made
            Build(b, c, parent);
            it = b.Widgets.find(&c);
            if (it == b.Widgets.end()) return;
        }
        QWidget* w = it->second;
        const QFont font = ResolveFont(EffectiveFont(c));
        if (w->font() != font) w->setFont(font);
        QRect geometry(c.Left, c.Top, std::max(0, c.Width), std::max(0, c.Height));

        switch (c.Kind()) {
        case TComponentKind::Panel: {
            auto* frame = static_cast<QFrame*>(w);
            const int style = static_cast<TPanel&>(c).LoweredFrame ? (QFrame::Panel | QFrame::Sunken) : QFrame::NoFrame;
            if (frame->frameStyle() != style) frame->setFrameStyle(style);
            if (frame->lineWidth() != 1) frame->setLineWidth(1);
            SetPaletteColor(*w, QPalette::Window, ResolveColor(c.Color));
            break;
        }
        case TComponentKind::Label: {
            auto& l = static_cast<TLabel&>(c);
            auto* label = static_cast<QLabel*>(w);
            const QString text = PlainCaption(l.Caption);
            if (label->text() != text) label->setText(text);
            Qt::Alignment a = l.Alignment == THAlign::Center ? Qt::AlignHCenter
                              : l.Alignment == THAlign::Right ? Qt::AlignRight
                                                              : Qt::AlignLeft;
            a |= l.Layout == TVAlign::Center ? Qt::AlignVCenter : l.Layout == TVAlign::Bottom ? Qt::AlignBottom : Qt::AlignTop;
            if (label->alignment() != a) label->setAlignment(a);
            if (label->wordWrap() != l.WordWrap) label->setWordWrap(l.WordWrap);
            SetPaletteColor(*w, QPalette::WindowText, ResolveColor(EffectiveFont(c).Color));
            if (label->autoFillBackground() == l.Transparent) label->setAutoFillBackground(!l.Transparent);
            if (!l.Transparent) SetPaletteColor(*w, QPalette::Window, ResolveColor(c.Color));
            // A label that sizes itself to its text is never cut short when the font at
            // hand is wider than the one the layout was drawn with.
            if (l.AutoSize && !l.WordWrap && c.Align == TAlign::None) {
                const QFontMetrics fm(font);
                geometry.setWidth(std::max(geometry.width(), fm.horizontalAdvance(text)));
                geometry.setHeight(std::max(geometry.height(), fm.height()));
            }
            break;
        }
        case TComponentKind::Button: {
            auto* button = static_cast<QPushButton*>(w);
            const QString text = QString::fromStdString(c.Caption);
            if (button->text() != text) button->setText(text);
            break;
        }
        case TComponentKind::ProgressBar: {
            auto& p = static_cast<TProgressBar&>(c);
            auto* bar = static_cast<QProgressBar*>(w);
            // Qt shows an empty range as a busy bar; an empty bar is meant.
            const int max = std::max(p.Max, p.Min + 1);
            if (bar->minimum() != p.Min || bar->maximum() != max) bar->setRange(p.Min, max);
            const int value = std::clamp(p.Position, p.Min, max);
            if (bar->value() != value) bar->setValue(value);
            SetPaletteColor(*w, QPalette::Highlight, ResolveColor(p.BarColor));
            break;
        }
        case TComponentKind::RichMemo: {
            auto& m = static_cast<TRichMemo&>(c);
            auto* memo = static_cast<QTextEdit*>(w);
            SetPaletteColor(*w, QPalette::Base, ResolveColor(c.Color));
            SetPaletteColor(*w, QPalette::Text, ResolveColor(EffectiveFont(c).Color));
            SyncMemo(b.Memos[&m], m, *memo);
            break;
        }
        case TComponentKind::Edit: {
            auto& e = static_cast<TEdit&>(c);
            std::string& shown = b.Edits[&e];
            if (shown != e.Text) {
                static_cast<QLineEdit*>(w)->setText(QString::fromStdString(e.Text));
                shown = e.Text;
            }
            break;
        }
        case TComponentKind::Animate: {
            auto& a = static_cast<TAnimate&>(c);
            auto* busy = static_cast<TQtBusyIndicator*>(w);
            busy->SetFrames(a.StartFrame, a.StopFrame);
            busy->SetActive(a.Active && a.Visible);
            break;
        }
        default: break;
        }
        if (w->geometry() != geometry) w->setGeometry(geometry);
        if (w->isHidden() == c.Visible) w->setVisible(c.Visible);
        if (w->isEnabled() != c.Enabled) w->setEnabled(c.Enabled);
        for (TControl* child : c.Controls) SyncControl(b, *child, w);
    }

    // New lines are appended; the document is rebuilt only when lines went away.
    void SyncMemo(MemoState& s, TRichMemo& m, QTextEdit& memo) {
        const bool replaced = m.Lines.size() < s.Shown || (s.Shown > 0 && m.Lines[s.Shown - 1].Text != s.Last);
        QTextDocument* doc = memo.document();
        if (replaced) {
            doc->clear();
            s.Shown = 0;
        }
        if (m.Lines.size() == s.Shown) return;
        QTextCursor cursor(doc);
        cursor.movePosition(QTextCursor::End);
        for (size_t i = s.Shown; i < m.Lines.size(); ++i) {
            const QTextCharFormat format = LineFormat(m.Lines[i]);
            if (i > 0) cursor.insertBlock(QTextBlockFormat(), format);
            else cursor.setBlockCharFormat(format);
            cursor.insertText(LineText(m.Lines[i].Text), format);
        }
        s.Shown = m.Lines.size();
        s.Last = m.Lines.back().Text;
    }

    void SyncTimers() {
        for (auto& [t, binding] : Timers) {
            QTimer* q = binding.Timer;
            if (!q) continue;
            if (q->interval() != std::max(0, t->Interval)) q->setInterval(std::max(0, t->Interval));
            const bool run = t->Enabled && t->OnTimer && t->Interval > 0;
            if (run && !q->isActive()) q->start();
            if (!run && q->isActive()) q->stop();
        }
    }

    void EndModalsWithResult() {
        for (auto& [form, b] : Forms)
            if (b->Modal && b->Form->ModalResult != 0 && b->Window && b->Window->isVisible()) b->Window->done(b->Form->ModalResult);
    }

    // ---- Widgets -> state ------------------------------------------------------------

    static void Press(TButton& t) {
        if (!t.Visible || !t.Enabled) return;
        if (TForm* f = FormOf(t)) f->ModalResult = t.ModalResult;
        t.Click();
    }

    void Call(const std::function<void()>& handler) {
        if (!handler) return;
        auto copy = handler;  // the handler may replace itself
        Self->Dispatch(copy);
    }

    void Dispatch(const std::function<void()>& action) { Self->Dispatch(action); }

    bool Key(Binding& b, QKeyEvent& e) {
        const int k = e.key();
        if (k != Qt::Key_Escape && k != Qt::Key_Return && k != Qt::Key_Enter) return false;
        if (e.modifiers() & ~(Qt::KeypadModifier)) return false;
        TButton* target = nullptr;
        if (k == Qt::Key_Escape) {
            target = FindButton(*b.Form, [](TButton& t) { return t.Cancel; });
        } else {
            // Enter presses the button that has the focus, else the default button.
            for (auto& [control, widget] : b.Widgets)
                if (widget == b.Window->focusWidget() && control->Kind() == TComponentKind::Button)
                    target = const_cast<TButton*>(static_cast<const TButton*>(control));
            if (!target) target = FindButton(*b.Form, [](TButton& t) { return t.Default; });
        }
        if (target) Dispatch([target] { Press(*target); });
        return true;
    }

    template <class Pred>
    static TButton* FindButton(TForm& f, Pred pred) {
        for (TComponent* c : f.Components)
            if (c->Kind() == TComponentKind::Button && pred(static_cast<TButton&>(*c))) return static_cast<TButton*>(c);
        return nullptr;
    }

    void UserResized(Binding& b, int cw, int ch) {
        TForm& f = *b.Form;
        if (cw == f.ClientWidth && ch == f.ClientHeight) return;
        f.Width += cw - f.ClientWidth, f.Height += ch - f.ClientHeight;
        f.ClientWidth = cw, f.ClientHeight = ch;
        SyncAll();
    }

    // A form without a close box cannot be closed by the user from the title bar.
    bool CloseRequested(Binding& b) {
        TForm& f = *b.Form;
        if (!f.CloseBoxOnly && !f.BorderIcons) return false;
        if (b.Modal) {
            f.ModalResult = kModalCancel;
            return true;
        }
        Dispatch([this, &f] { Self->CloseForm(f); });
        return false;  // CloseForm has hidden it already
    }

    // ---- Lifetime --------------------------------------------------------------------

    void Unbind(const TForm& f) {
        auto it = Forms.find(&f);
        if (it == Forms.end()) return;
        std::unique_ptr<Binding> b = std::move(it->second);
        Forms.erase(it);
        b->Guard.reset();  // no click or edit reaches the state any more
        for (auto& [c, w] : b->Widgets)
            if (auto* label = dynamic_cast<TQtLabel*>(w)) label->OnClick = label->OnEnter = label->OnLeave = nullptr;
        for (auto t = Timers.begin(); t != Timers.end();) {
            if (t->second.Owner == &f) {
                if (QTimer* q = t->second.Timer) {
                    q->stop();
                    q->deleteLater();
                }
                t = Timers.erase(t);
            } else {
                ++t;
            }
        }
        if (TQtFormWindow* w = b->Window) {
            w->OnKey = nullptr;
            w->OnUserResize = nullptr;
            w->OnCloseRequest = nullptr;
            w->hide();
            // It may be inside one of its own buttons' click right now.
            w->deleteLater();
        }
        if (MainLoopForm == &f && MainLoop) MainLoop->exit(0);
    }

    void Position(Binding& b) {
        if (b.Positioned || !b.Window) return;
        b.Positioned = true;
        TForm& f = *b.Form;
        QWidget* around = nullptr;
        if (f.Position == TFormPosition::OwnerFormCenter && f.Owner && f.Owner->Kind() == TComponentKind::Form)
            if (Binding* ob = Find(*static_cast<TForm*>(f.Owner)))
                if (ob->Window && ob->Window->isVisible()) around = ob->Window;
        QScreen* screen = around ? around->screen() : QGuiApplication::primaryScreen();
        const QPoint centre = around ? around->frameGeometry().center() : screen ? screen->availableGeometry().center() : QPoint();
        // The whole window is centred, its frame included: make it, so its frame is known.
        b.Window->winId();
        const QMargins frame = b.Window->windowHandle() ? b.Window->windowHandle()->frameMargins() : QMargins();
        const QSize outer(f.ClientWidth + frame.left() + frame.right(), f.ClientHeight + frame.top() + frame.bottom());
        b.Window->move(centre - QPoint((outer.width() - 1) / 2, (outer.height() - 1) / 2));
    }

    QAbstractButton* RunBox(QMessageBox& box) {
        SyncAll();
        if (Self->OnMessageBox) return Self->OnMessageBox(box);
        if (Shots.Enabled()) {
            // Nobody is there to read it: it is answered with its default button.
            std::fprintf(stderr, "message box: %s\n", box.text().toLocal8Bit().constData());
            QTimer::singleShot(300, &box, [&box] {
                QAbstractButton* b = box.defaultButton() ? box.defaultButton() : box.buttons().value(0);
                if (b) b->click();
            });
        }
        box.exec();
        return box.clickedButton();
    }

    void ReportUnhandled(const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
        QMessageBox box(QMessageBox::Critical, QString::fromStdString(Application().Title), QString::fromStdString(message),
                        QMessageBox::Ok);
        RunBox(box);
    }

    // ---- Pictures for people ---------------------------------------------------------

    void RunStep(size_t i, TForm& form) {
        Binding* b = Find(form);
        if (!b || i >= Shots.Steps.size()) return;
        QTimer::singleShot(300, b->Guard.get(), [this, i, &form] {
            Binding* b = Find(form);
            if (!b || !b->Window) return;
            SyncAll();
            Shots.Save(*b->Window, Shots.Steps[i].Picture);
            const std::string& name = Shots.Steps[i].Button;
            if (TButton* t = FindButton(form, [&](TButton& x) { return x.Name == name; }))
                Dispatch([t] { Press(*t); });
            RunStep(i + 1, form);
        });
    }
};

TQtRuntime::TQtRuntime(int& argc, char** argv) : d(std::make_unique<Impl>()) {
    d->Self = this;
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
    d->Shots = TScreenshotPlan::FromEnvironment();
}

TQtRuntime::~TQtRuntime() {
    while (!d->Forms.empty()) d->Unbind(*d->Forms.begin()->first);
    for (auto& [t, binding] : d->Timers) delete binding.Timer.data();
    d->Timers.clear();
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
            d->ReportUnhandled(unhandled.what());
        } catch (...) {
            d->ReportUnhandled("Unknown error");
        }
    } catch (...) {
        d->ReportUnhandled("Unknown error");
    }
    d->SyncAll();
}

void TQtRuntime::Sync() { d->SyncAll(); }

void TQtRuntime::Forget(TForm& Form) { d->Unbind(Form); }

QWidget* TQtRuntime::WindowOf(const TForm& Form) const {
    Impl::Binding* b = d->Find(Form);
    return b ? b->Window.data() : nullptr;
}

QWidget* TQtRuntime::WidgetOf(const TControl& Control) const {
    if (Control.Kind() == TComponentKind::Form) return WindowOf(static_cast<const TForm&>(Control));
    Impl::Binding* b = d->FindOwning(Control);
    return b ? b->Widgets.at(&Control) : nullptr;
}

void TQtRuntime::ProcessMessages() {
    d->SyncAll();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TQtRuntime::ShowMessage(const std::string& Text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(Application().Title), QString::fromStdString(Text),
                    QMessageBox::Ok);
    d->RunBox(box);
}

bool TQtRuntime::Confirm(const std::string& Text) {
    QMessageBox box(QMessageBox::Question, "Confirm", QString::fromStdString(Text));
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    yes->setText("&Yes");
    no->setText("&No");
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    // No parent: Qt centres a box without one on the screen.
    return d->RunBox(box) == yes;
}

void TQtRuntime::ShowForm(TForm& Form) {
    Impl::Binding& b = d->Bind(Form, false);
    Form.Showing = true;
    d->SyncAll();
    d->Position(b);
    b.Window->show();
}

void TQtRuntime::CloseForm(TForm& Form) {
    Form.Showing = false;
    Impl::Binding* b = d->Find(Form);
    if (!b) return;
    if (b->Modal) {
        if (Form.ModalResult == 0) Form.ModalResult = kModalCancel;
        if (b->Window) b->Window->done(Form.ModalResult);
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
    if (d->Shots.Enabled()) d->RunStep(0, MainForm);
    while (MainForm.Showing && d->Find(MainForm)) loop.exec();
    d->MainLoop = outerLoop, d->MainLoopForm = outerForm;
}

int TQtRuntime::ShowModal(TForm& Form) {
    d->Unbind(Form);  // a form shown modelessly before is made anew as a dialog
    Impl::Binding& b = d->Bind(Form, true);
    Form.ModalResult = 0;
    Form.Showing = true;
    d->SyncAll();
    d->Position(b);
    b.Window->setWindowModality(Qt::ApplicationModal);
    // Nobody is there to answer it: like a message box, it takes its default button.
    if (d->Shots.Enabled())
        QTimer::singleShot(300, b.Guard.get(), [this, &Form] {
            if (TButton* t = d->FindButton(Form, [](TButton& x) { return x.Default; })) d->Dispatch([t] { Impl::Press(*t); });
        });
    while (Form.ModalResult == 0) {
        Impl::Binding* current = d->Find(Form);  // a handler may have forgotten the form
        if (!current || !current->Window) break;
        current->Window->exec();
    }
    Form.Showing = false;
    const int result = Form.ModalResult;
    d->Unbind(Form);
    return result;
}

void TQtRuntime::Repaint(TForm& Form) {
    Impl::Binding* b = d->Find(Form);
    if (!b || !b->Window) return;
    d->SyncAll();
    if (!b->SinceRepaint.isValid() || b->SinceRepaint.elapsed() >= kRepaintGapMs) {
        b->Window->repaint();
        b->SinceRepaint.restart();
    } else {
        b->Window->update();
    }
    ++b->Repaints;
    if (d->Shots.Enabled() && b->Repaints == d->Shots.DuringAt && &Form == d->MainLoopForm)
        d->Shots.Save(*b->Window, d->Shots.During);
}

void TQtRuntime::ScrollToCaret(TRichMemo& Memo) {
    Impl::Binding* b = d->FindOwning(Memo);
    if (!b) return;
    auto* memo = static_cast<QTextEdit*>(b->Widgets.at(&Memo));
    d->SyncMemo(b->Memos[&Memo], Memo, *memo);
    QTextCursor cursor(memo->document());
    if (Memo.CaretLine < Memo.Lines.size())
        cursor.setPosition(memo->document()->findBlockByNumber(int(Memo.CaretLine)).position());
    else
        cursor.movePosition(QTextCursor::End);
    memo->setTextCursor(cursor);
    memo->ensureCursorVisible();
}

void TQtRuntime::TimerChanged(TTimer& Timer) {
    Impl::TimerBinding& binding = d->Timers[&Timer];
    binding.Owner = Timer.Owner;
    QPointer<QTimer>& q = binding.Timer;
    if (!q) {
        q = new QTimer;
        TTimer* t = &Timer;
        QObject::connect(q.data(), &QTimer::timeout, q.data(), [this, t] {
            if (!t->Enabled || !t->OnTimer) return;
            d->Call(t->OnTimer);
        });
    }
    d->SyncTimers();
}
