#pragma once
// The program's own arguments (without its name) as UTF-8: what main's argv holds on POSIX;
// on Windows the command line as the system keeps it, in UTF-16, so a name that the ANSI
// code page cannot write ("café" on other code pages, "Łódź" on any Western one) arrives whole.
#include <string>
#include <vector>

namespace platform {

std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace platform
