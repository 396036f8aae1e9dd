// A small Windows program the tests start: "exit N", "sleep MS [N]", "write FILE TEXT...".
// It carries a version resource (win_child.rc), so the version readers have a real program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(DWORD(std::atoi(argv[2])));
        return argc >= 4 ? std::atoi(argv[3]) : 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "write") == 0) {
        std::string text;
        for (int i = 3; i < argc; ++i) text += (i > 3 ? "|" : "") + std::string(argv[i]);
        // Written beside and renamed, so a reader never sees half of it.
        const std::string temp = std::string(argv[2]) + ".part";
        FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f) return 2;
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        return MoveFileA(temp.c_str(), argv[2]) ? 0 : 3;
    }
    return 1;
}
