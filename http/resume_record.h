#pragma once
// The small record kept beside a cut download: what it was fetched from, what the whole file
// must match, and the reply's validator (ETag, else Last-Modified) that If-Range sends back.
#include <cstdint>
#include <string>

namespace http {

struct TResumeRecord {
    std::string Url;
    std::string Sha256;
    int64_t Size = -1;
    std::string Validator;
};

// False when the file is missing, unreadable or not a whole record.
bool LoadResumeRecord(const std::string& FileName, TResumeRecord& Record);
// Raises EUpdaterError when the file cannot be written.
void SaveResumeRecord(const std::string& FileName, const TResumeRecord& Record);

}  // namespace http
