// Windows' own credential dialog. Its "remember" box keeps the answer as a generic
// credential for Target in the Credential Manager, where the proxy's store lookup finds it;
// the dialog waits for the confirmation before it writes anything.
#include <windows.h>

#include <wincred.h>

#include "platform/credential_dialog.h"
#include "platform/wide_text_win.h"

namespace platform {

bool AskForCredentials(const std::string& Target, const std::string& Message, std::string& User,
                       std::string& Password) {
    const std::wstring target = Widen(Target), message = Widen(Message), caption = Widen("Brinquet Express Updater");
    CREDUI_INFOW info{};
    info.cbSize = sizeof info;
    info.pszMessageText = message.c_str();
    info.pszCaptionText = caption.c_str();
    wchar_t user[CREDUI_MAX_USERNAME_LENGTH + 1] = {};
    wchar_t password[CREDUI_MAX_PASSWORD_LENGTH + 1] = {};
    BOOL save = FALSE;
    const DWORD status = CredUIPromptForCredentialsW(
        &info, target.c_str(), nullptr, 0, user, CREDUI_MAX_USERNAME_LENGTH + 1, password,
        CREDUI_MAX_PASSWORD_LENGTH + 1, &save,
        CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_ALWAYS_SHOW_UI | CREDUI_FLAGS_SHOW_SAVE_CHECK_BOX |
            CREDUI_FLAGS_EXPECT_CONFIRMATION);
    const bool given = status == NO_ERROR && user[0] != L'\0';
    if (given) {
        User = Narrow(user);
        Password = Narrow(password);
    }
    SecureZeroMemory(password, sizeof password);
    return given;
}

void ConfirmCredentials(const std::string& Target, bool Accepted) {
    CredUIConfirmCredentialsW(Widen(Target).c_str(), Accepted ? TRUE : FALSE);
}

}  // namespace platform
