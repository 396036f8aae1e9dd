#include "http/resume_record.h"

#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"

using namespace platform;

namespace http {

namespace {
// A record is four short lines; anything larger was not written by us.
constexpr int64_t kMaxRecordBytes = 16 * 1024;
}  // namespace

bool LoadResumeRecord(const std::string& FileName, TResumeRecord& Record) {
    const int64_t size = FileSize(FileName);
    if (size <= 0 || size > kMaxRecordBytes) return false;
    std::string bytes;
    try {
        bytes = ReadFileBytes(FileName);
    } catch (const EUpdaterError&) {
        return false;
    }
    // The bytes as written, without any code page: the URL must compare equal byte for byte.
    TResumeRecord r;
    std::string sizeText;
    int seen = 0;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) return false;  // a record cut by a crash
        const std::string line = bytes.substr(at, end - at);
        at = end + 2;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        if (name == "URL")
            r.Url = value, seen |= 1;
        else if (name == "SHA256")
            r.Sha256 = value, seen |= 2;
        else if (name == "SIZE")
            sizeText = value, seen |= 4;
        else if (name == "VALIDATOR")
            r.Validator = value, seen |= 8;
    }
    if (seen != 15 || r.Url.empty() || r.Validator.empty()) return false;
    if (!TryStrToInt64(sizeText, r.Size) || r.Size < -1) return false;
    Record = r;
    return true;
}

void SaveResumeRecord(const std::string& FileName, const TResumeRecord& Record) {
    WriteFileAtomically(FileName, "URL=" + Record.Url + "\r\nSHA256=" + Record.Sha256 + "\r\nSIZE=" +
                                      std::to_string(Record.Size) + "\r\nVALIDATOR=" + Record.Validator + "\r\n");
}

}  // namespace http
