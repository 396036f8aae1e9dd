#include <algorithm>

#include "platform/native_path.h"

namespace platform {

std::string NativePath(std::string_view Path) {
    std::string out(Path);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

}  // namespace platform
