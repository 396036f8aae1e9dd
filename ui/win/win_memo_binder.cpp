// The status memo: a read-only RichEdit with one paragraph per line in its colour and weight.
// New lines are appended; the text is rebuilt only when lines went away.
#include <windows.h>

#include <richedit.h>

#include <vector>

#include "platform/wide_text_win.h"
#include "ui/win/win_binder.h"
#include "ui/win/win_style.h"

using namespace platform;

namespace ui::win {

namespace {
// The newest RichEdit the system has (Msftedit's RICHEDIT50W), else RichEdit 2.0.
const wchar_t* RichEditClass() {
    static const wchar_t* cls = [] {
        if (LoadLibraryW(L"msftedit.dll")) return L"RICHEDIT50W";
        LoadLibraryW(L"riched20.dll");
        return L"RichEdit20W";
    }();
    return cls;
}

// Line breaks inside a status text stay inside its paragraph.
std::wstring LineText(const std::string& text) {
    std::wstring s = Widen(text);
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'\r' && i + 1 < s.size() && s[i + 1] == L'\n') ++i;
        out += s[i] == L'\r' || s[i] == L'\n' ? L'\v' : s[i];
    }
    return out;
}

class TMemoView final : public TWinView<TRichMemo> {
public:
    TMemoView(TRichMemo& State, const TWinPlace& Place, TEventSink&) : TWinView(State) {
        DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | WS_TABSTOP;
        if (State.ReadOnly) style |= ES_READONLY;
        if (State.VerticalScrollBar) style |= WS_VSCROLL | ES_DISABLENOSCROLL;
        window_ = MakeChild(RichEditClass(), style, WS_EX_CLIENTEDGE, Place);
        SendMessageW(window_, EM_SETUNDOLIMIT, 0, 0);
    }

    void Sync(RECT&, int) override {
        const COLORREF back = ResolveColor(state_.Color);
        if (back != back_) {
            SendMessageW(window_, EM_SETBKGNDCOLOR, 0, LPARAM(back));
            back_ = back;
        }
        SyncLines();
    }

    void ScrollIntoView() override {
        SyncLines();
        const LONG at = state_.CaretLine < starts_.size() ? starts_[state_.CaretLine] : end_;
        CHARRANGE caret{at, at};
        SendMessageW(window_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
        SendMessageW(window_, EM_SCROLLCARET, 0, 0);
    }

private:
    void SyncLines() {
        const auto& lines = state_.Lines;
        const bool replaced =
            lines.size() < starts_.size() || (!starts_.empty() && lines[starts_.size() - 1].Text != last_);
        if (replaced) {
            SetWindowTextW(window_, L"");
            starts_.clear();
            end_ = 0;
        }
        for (size_t i = starts_.size(); i < lines.size(); ++i) Append(lines[i], i > 0);
        if (!lines.empty()) last_ = lines.back().Text;
    }

    void Append(const TRichMemo::Line& line, bool newParagraph) {
        CHARRANGE end{-1, -1};
        SendMessageW(window_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
        CHARFORMAT2W cf{};
        cf.cbSize = sizeof cf;
        cf.dwMask = CFM_COLOR | CFM_BOLD;
        cf.crTextColor = ResolveColor(line.Color);
        cf.dwEffects = line.Bold ? CFE_BOLD : 0;
        SendMessageW(window_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
        std::wstring text = LineText(line.Text);
        if (newParagraph) {
            text.insert(text.begin(), L'\r');
            ++end_;  // RichEdit keeps a paragraph break as one character
        }
        starts_.push_back(end_);
        end_ += LONG(text.size()) - (newParagraph ? 1 : 0);
        SendMessageW(window_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    }

    std::vector<LONG> starts_;  // where each line shown begins
    LONG end_ = 0;              // the end of the text shown
    std::string last_;          // text of the last line shown, to notice a replaced list
    COLORREF back_ = CLR_INVALID;
};
}  // namespace

void AddMemoBinder(TWinBinders& Binders) { Binders.Add<TRichMemo, TMemoView>(TComponentKind::RichMemo); }

}  // namespace ui::win
