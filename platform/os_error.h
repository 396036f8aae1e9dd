#pragma once
// System errors in the words a Windows workstation shows. On Windows the numbers are the
// system's own error codes (GetLastError) and the texts its own. On POSIX the error numbers
// that have a Windows counterpart are reported with its code and text, so every message reads
// the same on every platform; the others keep their own number and text.
#include <string>

#include "platform/errors.h"

namespace platform {

// The Windows error code for a system error number (on POSIX: the errno itself when it has no
// Windows counterpart).
int WindowsErrorCode(int Errno);
// The system's text for an error number, in the Windows wording where there is one.
std::string SystemErrorText(int Errno);
// "System Error.  Code: %d." CR LF + the text ("A call to an OS function failed" for 0).
std::string SystemErrorMessage(int Errno);
// The platform's standard OS error for Errno, carrying the Windows code.
EOSError OSErrorFromErrno(int Errno);

}  // namespace platform
