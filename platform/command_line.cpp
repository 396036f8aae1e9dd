#include "platform/file_utils.h"
#include "platform/process_runner.h"

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

TCommand SplitCommandLine(std::string_view CommandLine) {
    size_t start = 0;
    while (start < CommandLine.size() && IsBlank(CommandLine[start])) ++start;
    const std::string_view line = CommandLine.substr(start);
    TCommand cmd;
    if (!line.empty() && line[0] == '"') {
        const size_t close = line.find('"', 1);
        cmd.Program = std::string(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        if (close != std::string_view::npos) cmd.Arguments = SplitArguments(line.substr(close + 1));
        return cmd;
    }
    // Try each word end in turn, as the system does with an unquoted path containing blanks.
    size_t firstEnd = std::string_view::npos;
    for (size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size() && !IsBlank(line[i])) continue;
        if (i == 0 || IsBlank(line[i - 1])) continue;  // inside a run of blanks
        if (firstEnd == std::string_view::npos) firstEnd = i;
        const std::string candidate(line.substr(0, i));
        if (FileExists(candidate)) {
            cmd.Program = candidate;
            cmd.Arguments = SplitArguments(line.substr(i));
            return cmd;
        }
    }
    if (firstEnd == std::string_view::npos) return cmd;  // a blank line
    cmd.Program = std::string(line.substr(0, firstEnd));
    cmd.Arguments = SplitArguments(line.substr(firstEnd));
    return cmd;
}
