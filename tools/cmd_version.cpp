// zelupdtool version FILE...: the fixed file version of each file, as the updater reads it
// when it compares an installed file with the version a server INI offers.
#include <sys/stat.h>

#include <cstdio>

#include "platform/update_utils.h"
#include "tools/commands.h"

using namespace platform;

namespace tools {

namespace {
int RunVersion(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(stderr, "zelupdtool version: name at least one file\n");
        return kExitUsage;
    }
    int rc = kExitOk;
    for (const std::string& file : args) {
        uint16_t major = 0, minor = 0, release = 0, build = 0;
        std::string text;
        ReadFileVersion(file, major, minor, release, build, text);
        std::printf("%s\t%s\n", file.c_str(), text.c_str());
        // A file without version information reads 0.0.0.0 and counts as read; one that is
        // not there (or no regular file) cannot have been read at all.
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            std::fprintf(stderr, "zelupdtool version: cannot read %s\n", file.c_str());
            rc = kExitFailed;
        }
    }
    std::fflush(stdout);
    return rc;
}

const ToolCommandRegistrar kVersion({"version", "version FILE...   print the file version of each FILE", RunVersion});
}  // namespace

}  // namespace tools
