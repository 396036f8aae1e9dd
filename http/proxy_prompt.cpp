#include "http/proxy_prompt.h"

#include <map>
#include <optional>
#include <set>
#include <utility>

namespace http {

namespace {
struct TPromptState {
    TProxyPrompt prompt;
    TProxyConfirm confirm;
    std::map<std::string, std::optional<TProxyCredentials>> asked;  // by proxy; nullopt: cancelled
    std::set<std::string> unconfirmed;                               // proxies whose answer the proxy has not judged
};
TPromptState& State() {
    static TPromptState state;
    return state;
}
}  // namespace

void SetProxyPrompt(TProxyPrompt Prompt, TProxyConfirm Confirm) {
    State().prompt = std::move(Prompt);
    State().confirm = std::move(Confirm);
    State().asked.clear();
    State().unconfirmed.clear();
}

bool AskProxyCredentials(const std::string& Proxy, const std::string& Scheme, TProxyCredentials& Out) {
    // Asked once: the answer serves every later file of the run, and after a cancel a
    // dialog for each file would only nag.
    if (const auto it = State().asked.find(Proxy); it != State().asked.end()) {
        if (it->second) Out = *it->second;
        return it->second.has_value();
    }
    // A copy: the prompt runs a dialog, which may end in anything.
    const TProxyPrompt prompt = State().prompt;
    if (!prompt) return false;
    TProxyCredentials got;
    const bool given = prompt(Proxy, Scheme, got) && !got.User.empty();
    State().asked[Proxy] = given ? std::optional<TProxyCredentials>(got) : std::nullopt;
    if (given) {
        State().unconfirmed.insert(Proxy);
        Out = std::move(got);
    }
    return given;
}

void ProxyCredentialsOutcome(const std::string& Proxy, bool Accepted) {
    if (State().unconfirmed.erase(Proxy) == 0) return;
    const TProxyConfirm confirm = State().confirm;
    if (confirm) confirm(Proxy, Accepted);
}

TScopedProxyPrompt::TScopedProxyPrompt(TProxyPrompt Prompt, TProxyConfirm Confirm)
    : saved_(std::move(State().prompt)), savedConfirm_(std::move(State().confirm)) {
    SetProxyPrompt(std::move(Prompt), std::move(Confirm));
}

TScopedProxyPrompt::~TScopedProxyPrompt() { SetProxyPrompt(std::move(saved_), std::move(savedConfirm_)); }

}  // namespace http
