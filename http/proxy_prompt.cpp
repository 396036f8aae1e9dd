#include "http/proxy_prompt.h"

#include <map>
#include <optional>
#include <utility>

namespace http {

namespace {
struct TPromptState {
    TProxyPrompt prompt;
    std::map<std::string, std::optional<TProxyCredentials>> asked;  // by proxy; nullopt: cancelled
};
TPromptState& State() {
    static TPromptState state;
    return state;
}
}  // namespace

void SetProxyPrompt(TProxyPrompt Prompt) {
    State().prompt = std::move(Prompt);
    State().asked.clear();
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
    if (given) Out = std::move(got);
    return given;
}

TScopedProxyPrompt::TScopedProxyPrompt(TProxyPrompt Prompt) : saved_(std::move(State().prompt)) {
    SetProxyPrompt(std::move(Prompt));
}

TScopedProxyPrompt::~TScopedProxyPrompt() { SetProxyPrompt(std::move(saved_)); }

}  // namespace http
