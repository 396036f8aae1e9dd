#pragma once
// The window as plain state. Forms own their components as members; the code reads and
// writes these properties, and a runtime (headless, or the Qt window) shows them. Nothing
// here knows about a window system.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ui {

// RGB colours as 0xRRGGBB; system colours are symbolic so each runtime can use its theme.
using TColor = uint32_t;
constexpr TColor clRed = 0xFF0000, clNavy = 0x000080, clBlack = 0x000000, clWhite = 0xFFFFFF;
constexpr TColor clSystem = 0xFF000000;
constexpr TColor clBtnFace = clSystem | 15, clWindowText = clSystem | 8, clHighlight = clSystem | 13,
                 clWindow = clSystem | 5;

struct TFont {
    std::string Name = "MS Sans Serif";
    int Height = 11;  // character height in pixels at 96 dots per inch
    TColor Color = clWindowText;
    bool Bold = false;
    bool Underline = false;
};

// What a modal form returns when it closes.
constexpr int mrNone = 0, mrOk = 1, mrCancel = 2;

enum class TAlign { None, Top, Bottom, Left, Right, Client };
enum class TComponentKind {
    Form,
    Label,
    Panel,
    Button,
    ProgressBar,
    RichMemo,
    Edit,
    Animate,
    Timer,
    ApplicationEvents
};

class TComponent {
public:
    TComponent(TComponent* AOwner, std::string AName);
    // Leaves the owner's list, so a component freed before its owner (a dialog made and
    // freed for one question) is never reached through it afterwards.
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    virtual TComponentKind Kind() const = 0;

    std::string Name;
    TComponent* Owner;
    // The components this one owns, in creation order (they are members of the owner).
    std::vector<TComponent*> Components;
};

class TControl : public TComponent {
public:
    TControl(TComponent* AOwner, TControl* AParent, std::string AName);
    ~TControl() override;
    TControl* Parent;
    std::vector<TControl*> Controls;  // children, in creation order
    int Left = 0, Top = 0, Width = 0, Height = 0;
    TAlign Align = TAlign::None;
    bool Visible = true;
    bool Enabled = true;
    std::string Caption;
    TFont Font;
    bool ParentFont = true;  // false: Font is the control's own
    TColor Color = clBtnFace;
    int TabOrder = 0;
};

class TPanel : public TControl {
public:
    using TControl::TControl;
    TComponentKind Kind() const override { return TComponentKind::Panel; }
    bool LoweredFrame = false;  // a one-pixel lowered inner bevel; otherwise flat
};

enum class THAlign { Left, Center, Right };
enum class TVAlign { Top, Center, Bottom };

class TLabel : public TControl {
public:
    using TControl::TControl;
    TComponentKind Kind() const override { return TComponentKind::Label; }
    bool WordWrap = false;
    bool AutoSize = true;
    THAlign Alignment = THAlign::Left;
    TVAlign Layout = TVAlign::Top;
    bool Transparent = true;
    std::function<void()> OnClick, OnMouseEnter, OnMouseLeave;
};

// The pictures buttons carry: their shapes are in glyph_shapes.h, each runtime draws them.
enum class TGlyph { None, Cross, ArrowIntoPage, DoorUnderSign, CheckMark };

class TButton : public TControl {
public:
    using TControl::TControl;
    TComponentKind Kind() const override { return TComponentKind::Button; }
    TGlyph Glyph = TGlyph::None;
    int GlyphSize = 16;
    bool Cancel = false;   // Esc presses it
    bool Default = false;  // Enter presses it
    int ModalResult = 0;   // closes a modal form with this result
    std::function<void()> OnClick;
    // A click as the user makes it: only a visible, enabled button reacts.
    void Click();
};

class TProgressBar : public TControl {
public:
    using TControl::TControl;
    TComponentKind Kind() const override { return TComponentKind::ProgressBar; }
    int Min = 0, Max = 100, Position = 0;
    TColor BarColor = clHighlight;
};

// A read-only rich-text memo: lines with their own colour and weight, and an insertion
// point whose attributes are given to the next line appended.
class TRichMemo : public TControl {
public:
    using TControl::TControl;
    TComponentKind Kind() const override { return TComponentKind::RichMemo; }
    struct Line {
        std::string Text;
        TColor Color;
        bool Bold;
    };
    std::vector<Line> Lines;
    TColor SelColor = clNavy;
    bool SelBold = false;
    bool ReadOnly = true;
    bool VerticalScrollBar = true;
    size_t CaretLine = 0;  // the caret stands before this line; Lines.size() is the end

    void Append(const std::string& Text);
    void MoveCaretToEnd() { CaretLine = Lines.size(); }
    std::string Text() const;  // every line followed by CR LF
};

class TEdit : public TControl {
public:
    using TControl::TControl;
    TComponentKind Kind() const override { return TComponentKind::Edit; }
    std::string Text;
};

class TAnimate : public TControl {
public:
    using TControl::TControl;
    TComponentKind Kind() const override { return TComponentKind::Animate; }
    bool Active = false;
    int StartFrame = 1, StopFrame = 8;
};

class TTimer : public TComponent {
public:
    using TComponent::TComponent;
    ~TTimer() override;  // the runtime forgets it
    TComponentKind Kind() const override { return TComponentKind::Timer; }
    int Interval = 1000;
    bool Enabled = true;
    std::function<void()> OnTimer;
};

class TApplicationEvents : public TComponent {
public:
    using TComponent::TComponent;
    TComponentKind Kind() const override { return TComponentKind::ApplicationEvents; }
    // An exception that escaped an event handler while the message loop ran.
    std::function<void(const std::exception&)> OnException;
};

enum class TFormPosition { ScreenCenter, OwnerFormCenter };

class TForm : public TControl {
public:
    explicit TForm(std::string AName, TForm* OwnerForm = nullptr);
    TComponentKind Kind() const override { return TComponentKind::Form; }
    int ClientWidth = 0, ClientHeight = 0;
    bool BorderIcons = true;    // false: no system menu, minimise, maximise or close box
    bool CloseBoxOnly = false;  // only the close box
    bool Sizeable = true;
    TFormPosition Position = TFormPosition::ScreenCenter;
    bool Showing = false;
    int ModalResult = 0;

    // Shows the form / closes it through the runtime in force.
    void Show();
    void Close();
    int ShowModal();
    void Repaint();
};

// The font a control shows: its own, or its parent's when it takes the parent's font.
const TFont& EffectiveFont(const TControl& Control);

}  // namespace ui
