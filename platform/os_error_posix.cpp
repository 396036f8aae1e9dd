#include "platform/os_error.h"

#include <cerrno>
#include <cstring>

#include "platform/strconv.h"

namespace platform {

namespace {
struct Mapping {
    int Errno;
    int Code;
    const char* Text;
};

constexpr Mapping kMappings[] = {
    {ENOENT, 2, "The system cannot find the file specified."},
    {ENOTDIR, 3, "The system cannot find the path specified."},
    {EACCES, 5, "Access is denied."},
    {EPERM, 5, "Access is denied."},
    {EISDIR, 5, "Access is denied."},
    {ENOMEM, 8, "Not enough memory resources are available to process this command."},
    {ETXTBSY, 32, "The process cannot access the file because it is being used by another process."},
    {ENOEXEC, 193, "%1 is not a valid Win32 application."},
    {ENAMETOOLONG, 206, "The filename or extension is too long."},
    {E2BIG, 206, "The filename or extension is too long."},
};

const Mapping* Find(int err) {
    for (const Mapping& m : kMappings)
        if (m.Errno == err) return &m;
    return nullptr;
}
}  // namespace

int WindowsErrorCode(int Errno) {
    const Mapping* m = Find(Errno);
    return m ? m->Code : Errno;
}

std::string SystemErrorText(int Errno) {
    const Mapping* m = Find(Errno);
    return m ? m->Text : std::strerror(Errno);
}

std::string SystemErrorMessage(int Errno) {
    if (Errno == 0) return "A call to an OS function failed";
    return Format("System Error.  Code: %d.\r\n", WindowsErrorCode(Errno)) + SystemErrorText(Errno);
}

EOSError OSErrorFromErrno(int Errno) { return EOSError(SystemErrorMessage(Errno), WindowsErrorCode(Errno)); }

}  // namespace platform
