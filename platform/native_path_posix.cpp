#include "platform/native_path.h"

namespace platform {

std::string NativePath(std::string_view Path) { return std::string(Path); }

}  // namespace platform
