#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/os_error.h"
#include "platform/os_services.h"
#include "platform/process_runner.h"
#include "platform/proxy_environment.h"
#include "platform/unique_fd.h"

namespace platform {

namespace {

// The last failure of ShellOpen on this thread, as the system would word it.
constexpr const char* kSuccessText = "The operation completed successfully.";
thread_local std::string t_lastErrorText = kSuccessText;

constexpr int kStarted = 42;        // any value above 32 means "started"
constexpr int kNoAssociation = 31;  // no program to open the file with
constexpr const char* kNoAssociationText = "No application is associated with the specified file for this operation.";

// The shell's error values (all <= 32) for the errno of a failed start.
int ShellErrorValue(int err) {
    switch (err) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES:
    case EPERM: return 5;
    case ENOMEM: return 8;
    case ENOEXEC: return 11;
    default: return 0;  // "out of memory or resources": the catch-all failure value
    }
}

int Fail(int err) {
    t_lastErrorText = SystemErrorText(err);
    return ShellErrorValue(err);
}

// A program the system can start itself: a native binary or a script with an interpreter line.
bool IsProgramFile(const std::string& FileName) {
    UniqueFd fd(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) return false;
    unsigned char head[4] = {};
    const ssize_t n = ::read(fd.Get(), head, sizeof head);
    return (n == 4 && std::memcmp(head,
                                  "\x7f"
                                  "ELF",
                                  4) == 0) ||
           (n >= 2 && head[0] == '#' && head[1] == '!');
}

int OpenWithDesktop(const std::string& Target) {
    const int err = StartDetached("xdg-open", {Target});
    if (err == ENOENT) {
        t_lastErrorText = kNoAssociationText;
        return kNoAssociation;
    }
    return err == 0 ? kStarted : Fail(err);
}
}  // namespace

int TOSServices::ShellOpen(const std::string& FileName, const std::string& Params, const std::string& ProgramFolder) {
    t_lastErrorText = kSuccessText;
    if (IsUrl(FileName)) return OpenWithDesktop(FileName);
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0) return Fail(errno);
    if (!S_ISREG(st.st_mode)) return OpenWithDesktop(FileName);  // a folder opens in the file manager
    if (!IsProgramFile(FileName)) return OpenWithDesktop(FileName);
    // A program downloaded into the program folder arrives without its execute permission.
    if (LiesInFolder(FileName, ProgramFolder) && !EnsureExecutable(FileName)) return Fail(errno ? errno : EACCES);
    const std::string path = FileName.find('/') == std::string::npos ? "./" + FileName : FileName;
    const int err = StartDetached(path, SplitArguments(Params));
    return err == 0 ? kStarted : Fail(err);
}

std::string TOSServices::LastErrorText() { return t_lastErrorText; }

int TOSServices::RunAndWait(const std::string& FileName, const std::string& Params, int TimeOut,
                            const std::string& ProgramFolder) {
    // A program downloaded into the program folder arrives without its execute permission;
    // a file anywhere else is run as it is.
    if (LiesInFolder(FileName, ProgramFolder)) EnsureExecutable(FileName);
    return RunProcessAndWait(TCommand{FileName, SplitArguments(Params)}, FileName + Params, TimeOut);
}

bool TOSServices::IsUacEnabled() { return false; }  // no elevation prompts here

bool TOSServices::IsWindows9x() { return false; }

bool TOSServices::ReadProxySettings(TSystemProxyText& out) { return ProxySettingsFromEnvironment(out); }

// The environment has no automatic configuration.
bool TOSServices::ProxyForUrl(const std::string&, std::string&) { return false; }

std::string TOSServices::GetCurrentDir() {
    std::string buf(256, '\0');
    for (;;) {
        if (::getcwd(buf.data(), buf.size())) return std::string(buf.c_str());
        if (errno != ERANGE) return std::string();
        buf.resize(buf.size() * 2);
    }
}

bool TOSServices::SetCurrentDir(const std::string& Dir) { return !Dir.empty() && ::chdir(Dir.c_str()) == 0; }

std::string TOSServices::ExpandUNCFileName(const std::string& FileName) { return FileName; }

}  // namespace platform
