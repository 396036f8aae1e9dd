// zelupdtool: small helpers for people who publish updates.
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/commands.h"

using namespace tools;

namespace {
std::vector<ToolCommand>& Commands() {
    static std::vector<ToolCommand> commands;
    return commands;
}

int Usage() {
    std::fprintf(stderr, "usage:\n");
    for (const auto& c : Commands()) std::fprintf(stderr, "  zelupdtool %s\n", c.usage);
    return kExitUsage;
}
}  // namespace

ToolCommandRegistrar::ToolCommandRegistrar(ToolCommand c) { Commands().push_back(c); }

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    for (const auto& c : Commands())
        if (std::strcmp(argv[1], c.name) == 0) return c.run(std::vector<std::string>(argv + 2, argv + argc));
    std::fprintf(stderr, "zelupdtool: unknown command '%s'\n", argv[1]);
    return Usage();
}
