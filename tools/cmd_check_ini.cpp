// zelupdtool check-ini FILE: reads a server INI as the updater does and names what would
// make an update fail (errors) or behave other than its author likely meant (warnings).
#include <cstdio>

#include "engine/file_names.h"
#include "platform/errors.h"
#include "platform/string_list.h"
#include "platform/strconv.h"
#include "platform/update_utils.h"
#include "tools/commands.h"

namespace {
// How the updater reads a version text, written as four numbers.
std::string ReadsAs(const std::string& text) {
    TFileVerRec rec;
    rec.VersionStr = text;
    ParseVersionStr(rec);
    return Format("%d.%d.%d.%d", rec.Version[1], rec.Version[2], rec.Version[3], rec.Version[4]);
}

struct Report {
    const std::string& file;
    bool failed = false;
    void Error(const std::string& m) {
        failed = true;
        std::printf("%s: error: %s\n", file.c_str(), m.c_str());
    }
    void Warning(const std::string& m) { std::printf("%s: warning: %s\n", file.c_str(), m.c_str()); }
};

// Values the updater compares exactly: another letter case silently means something else.
void CheckCase(Report& r, const TStringList& ini, const std::string& key, const char* word, const char* effect) {
    const std::string v = ini.Values(key);
    if (SameText(v, word) && v != word)
        r.Warning(key + " \"" + v + "\" is not " + word + " (letter case matters): " + effect);
}

int CheckIni(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: zelupdtool check-ini FILE\n");
        return kExitUsage;
    }
    const std::string& file = args[0];
    TStringList ini;
    try {
        ini.LoadFromFile(file);
    } catch (const EUpdaterError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    Report r{file};
    if (ini.Text().find("FOUNDIT") == std::string::npos)
        r.Error("the marker FOUNDIT (in capitals) is missing: the updater takes the file for an error page");
    const std::string count = ini.Values("FILECOUNT");
    int32_t n = 0;
    if (count.empty()) r.Error("FILECOUNT is missing or empty");
    else if (!TryStrToInt(count, n)) r.Error("FILECOUNT \"" + count + "\" is not a number");
    for (int i = 0; i < n; ++i) {
        const std::string name = Trim(ini.Values(FileKey(i, "NAME")));
        if (name.empty()) {
            r.Error(FileKey(i, "NAME") + " is missing or empty; the update stops at this entry");
            break;  // the updater goes no further either
        }
        if (!IsSafeFileName(name))
            r.Error(FileKey(i, "NAME") + " \"" + name + "\" is not a file inside the program folder");
        const std::string version = ini.Values(FileKey(i, "VERSION"));
        if (!version.empty() && ReadsAs(version) != version)
            r.Warning(FileKey(i, "VERSION") + " \"" + version + "\" reads as " + ReadsAs(version));
        CheckCase(r, ini, FileKey(i, "EXECUTE"), "NEVER", "the file will run");
        CheckCase(r, ini, FileKey(i, "EXECUTE"), "ALWAYS", "the file runs only until it has once run");
        CheckCase(r, ini, FileKey(i, "REQUEST"), "TRUE", "the user will not be asked");
        const std::string wait = ini.Values(FileKey(i, "WAIT"));
        int32_t ms;
        if (!wait.empty() && !TryStrToInt(wait, ms))
            r.Warning(FileKey(i, "WAIT") + " \"" + wait + "\" is not a number: the file is opened without waiting");
    }
    if (!r.failed) std::printf("%s: no problem that fails an update\n", file.c_str());
    return r.failed ? kExitFailed : kExitOk;
}

const ToolCommandRegistrar kRegister{{"check-ini", "check-ini FILE   report what in a server INI would fail an update", CheckIni}};
}  // namespace
