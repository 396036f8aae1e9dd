#include "http/http_exchange.h"

#include "http/size_limited_stream.h"
#include "platform/strconv.h"

using namespace platform;

namespace http {

std::vector<std::string> TReply::Values(std::string_view Name) const {
    std::vector<std::string> out;
    for (const std::string& line : Lines) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon != Name.size()) continue;
        if (!SameText(line.substr(0, colon), std::string(Name))) continue;
        out.push_back(Trim(line.substr(colon + 1)));
    }
    return out;
}

TFileSink::TFileSink(TStream& File, int64_t Offset, int64_t Limit) : file_(File), offset_(Offset), limit_(Limit) {
    file_.SetSize(offset_);
    file_.SetPosition(offset_);
}

size_t TFileSink::Write(const void* Buffer, size_t Count) {
    CheckRoom(Count);
    return file_.Write(Buffer, Count);
}

size_t TFileSink::WriteFromPipe(TBodyPipe& Pipe, size_t Count) {
    CheckRoom(Count);
    return file_.WriteFromPipe(Pipe, Count);
}

void TFileSink::CheckRoom(size_t Count) const {
    if (limit_ >= 0 && file_.GetPosition() + int64_t(Count) > limit_) throw EBodyTooLarge(limit_);
}

void TFileSink::StartAt(int64_t Offset) {
    offset_ = Offset;
    file_.SetSize(offset_);
    file_.SetPosition(offset_);
}

}  // namespace http
