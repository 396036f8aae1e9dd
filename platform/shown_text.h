#pragma once
// Text that came from a server (a reply's header lines, a value of the server INI) on its way
// to a log, a window, standard error or a record: every control character, everything below
// 0x20 and 0x7F, is written as \xNN, so no server can start a line of its own there or send a
// terminal its escape sequences.
#include <string>
#include <string_view>

namespace platform {

std::string ShownText(std::string_view Text);

}  // namespace platform
