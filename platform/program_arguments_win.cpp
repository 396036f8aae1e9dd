// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "platform/program_arguments.h"
#include "platform/wide_text_win.h"

namespace platform {

std::vector<std::string> ProgramArguments(int, char**) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    if (!args) return out;
    for (int i = 1; i < count; ++i) out.push_back(Narrow(args[i]));
    LocalFree(args);
    return out;
}

}  // namespace platform
