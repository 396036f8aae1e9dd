// The one path helper the window-state code needs, for the development build of the Windows
// window that compiles without the rest of the platform layer.
#include "platform/file_utils.h"

std::string ExtractFilePath(const std::string& FileName) {
    const size_t slash = FileName.find_last_of("\\/:");
    return slash == std::string::npos ? std::string() : FileName.substr(0, slash + 1);
}
