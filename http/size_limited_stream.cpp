#include "http/size_limited_stream.h"

#include <string>

namespace http {

EBodyTooLarge::EBodyTooLarge(int64_t ALimit)
    : EUpdaterError("The body grew past the " + std::to_string(ALimit) + " bytes it may have."), Limit(ALimit) {}

size_t TSizeLimitedStream::Write(const void* Buffer, size_t Count) {
    if (Count > 0 && target_.GetPosition() + int64_t(Count) > limit_) throw EBodyTooLarge(limit_);
    return target_.Write(Buffer, Count);
}

void TSizeLimitedStream::SetSize(int64_t Size) {
    if (Size > limit_) throw EBodyTooLarge(limit_);
    target_.SetSize(Size);
}

}  // namespace http
