#include "engine/file_names.h"

bool IsSafeFileName(const std::string& Name) {
    if (Name.empty() || Name[0] == '/' || Name.find('\\') != std::string::npos) return false;
    if (Name.size() >= 2 && Name[1] == ':') return false;
    for (size_t start = 0;;) {
        const size_t slash = Name.find('/', start);
        if (Name.compare(start, slash == std::string::npos ? std::string::npos : slash - start, "..") == 0) return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

std::string FileKey(int N, const char* Suffix) { return "FILE" + std::to_string(N) + Suffix; }
