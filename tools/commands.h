#pragma once
// The sub-commands of zelupdtool. Each lives in its own cmd_*.cpp and registers itself.
#include <string>
#include <vector>

namespace tools {

struct ToolCommand {
    const char* name;
    const char* usage;                                 // one line, after "zelupdtool "
    int (*run)(const std::vector<std::string>& args);  // args after the sub-command
};

// Exit codes shared by the sub-commands.
constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

struct ToolCommandRegistrar {
    explicit ToolCommandRegistrar(ToolCommand c);
};

}  // namespace tools
