// Message and confirmation boxes, and the last word on an error nobody handled. The boxes
// belong to the whole program (task modal): no window of it reacts until they are answered.
#include <windows.h>

#include <cstdio>

#include "platform/wide_text_win.h"
#include "ui/application.h"
#include "ui/win/win_runtime.h"

using namespace platform;

namespace ui::win {

namespace {
int Box(const std::string& Caption, const std::string& Text, UINT Type) {
    return MessageBoxW(nullptr, Widen(Text).c_str(), Widen(Caption).c_str(), Type | MB_TASKMODAL | MB_SETFOREGROUND);
}
}  // namespace

void TWinRuntime::ReportUnhandled(const std::string& Message) {
    std::fprintf(stderr, "%s\n", Message.c_str());
    Sync();
    Box(Application().Title, Message, MB_OK | MB_ICONERROR);
}

void TWinRuntime::ShowMessage(const std::string& Text) {
    Sync();
    Box(Application().Title, Text, MB_OK);
}

void TWinRuntime::ShowError(const std::string& Text) {
    Sync();
    Box(Application().Title, Text, MB_OK | MB_ICONERROR);
}

bool TWinRuntime::Confirm(const std::string& Text) {
    Sync();
    // Without an owner the system centres the box on the screen; Yes is the default button.
    return Box("Confirm", Text, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDYES;
}

}  // namespace ui::win
