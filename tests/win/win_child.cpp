// A small Windows program the tests start: "exit N", "sleep MS [N]", "write FILE TEXT...",
// "args FILE TEXT..." (the program's arguments as the updater reads them, in UTF-8), "short FILE"
// (prints the file's 8.3 name).
// It carries a version resource (win_child.rc), so the version readers have a real program.
// Copied under another name it acts on its name alone, as a downloaded file run without
// chosen parameters must: "exit<N>.exe" ends with N; "sleep<MS>.exe" ends with 300 after MS
// milliseconds; "note<...>.exe" writes its parameters into "note<...>.txt" beside itself.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/program_arguments.h"

namespace {
int WriteNote(const std::string& File, int First, int argc, char** argv);

// The program's file name without folder and ".exe", in lower case.
std::string OwnName() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, n);
    name = name.substr(name.find_last_of("\\/") + 1);
    if (name.size() > 4) name.resize(name.size() - 4);
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}
}  // namespace

int main(int argc, char** argv) {
    const std::string self = OwnName();
    if (self.rfind("exit", 0) == 0 && self.size() > 4) return std::atoi(self.c_str() + 4);
    if (self.rfind("sleep", 0) == 0 && self.size() > 5) {
        Sleep(DWORD(std::atoi(self.c_str() + 5)));
        return 300;  // done, as Windows counts a waited run's end
    }
    if (self.rfind("note", 0) == 0) {
        char path[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string file(path, n);
        file.replace(file.size() - 4, 4, ".txt");
        return WriteNote(file, 1, argc, argv);
    }
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(DWORD(std::atoi(argv[2])));
        return argc >= 4 ? std::atoi(argv[3]) : 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "write") == 0) return WriteNote(argv[2], 3, argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "args") == 0) {
        std::vector<std::string> args = platform::ProgramArguments(argc, argv);
        std::vector<char*> pointers{argv[0]};
        for (std::string& a : args) pointers.push_back(a.data());
        return WriteNote(argv[2], 3, int(pointers.size()), pointers.data());
    }
    if (argc >= 3 && std::strcmp(argv[1], "short") == 0) {
        char path[MAX_PATH];
        const DWORD n = GetShortPathNameA(argv[2], path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return 2;
        std::printf("%s\n", path);
        return 0;
    }
    return 1;
}

namespace {
// argv[First..] joined by "|" into File.
int WriteNote(const std::string& File, int First, int argc, char** argv) {
    std::string text;
    for (int i = First; i < argc; ++i) text += (i > First ? "|" : "") + std::string(argv[i]);
    // Written beside and renamed, so a reader never sees half of it.
    const std::string temp = File + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return 2;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return MoveFileA(temp.c_str(), File.c_str()) ? 0 : 3;
}
}  // namespace
