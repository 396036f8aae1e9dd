#pragma once
#include <string>

// Whether a name from the server INI stays inside the program folder: not absolute, no
// drive letter, no backslash, no ".." component. Anyone who can answer in place of the
// update server must not be able to write, and then run, any other file of the user's.
bool IsSafeFileName(const std::string& Name);

// The server INI key of entry N: FileKey(3, "NAME") is "FILE3NAME".
std::string FileKey(int N, const char* Suffix);
