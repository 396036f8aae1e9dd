#pragma once
// Runs a shell command line and gives back its exit code and everything it printed.
#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <string>

struct CommandResult {
    int code;
    std::string output;  // standard output, and standard error when the line redirects it
};

inline CommandResult RunCommand(const std::string& CommandLine) {
    FILE* p = ::popen(CommandLine.c_str(), "r");
    if (!p) return {-1, "popen failed"};
    std::string out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int status = ::pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out};
}
