#pragma once
// Asking the user for a proxy's user name and password. Only a visual run can ask: the
// engine installs a prompt there (the platform's own dialog), none elsewhere, and a proxy
// with no credentials then simply stays closed. No window system is known here.
#include <functional>
#include <string>

#include "http/proxy_auth.h"

namespace http {

// Proxy: "host:port"; Scheme: what the answer will be used for ("Basic", "NTLM"). Fills
// Out and returns true when the user gave a user name; false when cancelled.
using TProxyPrompt = std::function<bool(const std::string& Proxy, const std::string& Scheme, TProxyCredentials& Out)>;
// Told once for each answer the prompt gave, when the proxy has taken it (Accepted) or
// refused it: an answer the user asked to be remembered may be kept only when it was taken.
using TProxyConfirm = std::function<void(const std::string& Proxy, bool Accepted)>;

// Installs Prompt (and Confirm) for every later challenge (an empty one removes it), and
// forgets the answers: each proxy is asked once while a prompt stays installed.
void SetProxyPrompt(TProxyPrompt Prompt, TProxyConfirm Confirm = {});
// The user's answer for Proxy, asked through the prompt in force the first time only;
// false without a prompt or when the user cancelled.
bool AskProxyCredentials(const std::string& Proxy, const std::string& Scheme, TProxyCredentials& Out);
// The end of a handshake with Proxy: the prompt's answer for it, when one still waits to be
// confirmed, is confirmed now as Accepted or not. Nothing happens for credentials from
// anywhere else, nor a second time.
void ProxyCredentialsOutcome(const std::string& Proxy, bool Accepted);

// Installs a prompt for the length of a scope and puts the one before back.
class TScopedProxyPrompt {
public:
    explicit TScopedProxyPrompt(TProxyPrompt Prompt, TProxyConfirm Confirm = {});
    ~TScopedProxyPrompt();
    TScopedProxyPrompt(const TScopedProxyPrompt&) = delete;
    TScopedProxyPrompt& operator=(const TScopedProxyPrompt&) = delete;

private:
    TProxyPrompt saved_;
    TProxyConfirm savedConfirm_;
};

}  // namespace http
