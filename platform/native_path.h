#pragma once
// A path inside the installation written with the separator of the system the updater runs
// on: "Admin/Client/install.ini" is "Admin\Client\install.ini" on Windows, where a program
// that reads the path (a batch file's copy) may take "/" for the start of a switch.
#include <string>
#include <string_view>

namespace platform {

std::string NativePath(std::string_view Path);

}  // namespace platform
