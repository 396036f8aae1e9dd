#include "platform/process_runner.h"

namespace platform {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::vector<std::string> SplitArguments(std::string_view Text) {
    std::vector<std::string> out;
    std::string current;
    bool inWord = false, quoted = false;
    for (char c : Text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;  // "" is an argument of its own, even though empty
        } else if (IsBlank(c) && !quoted) {
            if (inWord) out.push_back(std::move(current));
            current.clear();
            inWord = false;
        } else {
            current += c;
            inWord = true;
        }
    }
    if (inWord) out.push_back(std::move(current));
    return out;
}

}  // namespace platform
