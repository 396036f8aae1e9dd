#pragma once
// A download through the Windows Internet functions (WinINet), beside the updater's own HTTP
// client: written to the file as it is read, 2048 bytes at a time. Where the system has no
// such functions (POSIX) there is no such download: the result is false and nothing is written.
#include <cstdint>
#include <functional>
#include <string>

namespace http {

using TInternetProgress = std::function<void(int32_t Declared, int32_t Received)>;

// True when the whole body of the length the reply declares arrived in Target. False, with
// nothing written, when the URL does not open or the reply declares no length; false too when
// Cancel is set between reads. Raises EUpdaterError when Target cannot be written.
bool DownloadThroughInternetFunctions(const std::string& Url, const std::string& Target, const bool& Cancel,
                                      const TInternetProgress& Progress);

}  // namespace http
