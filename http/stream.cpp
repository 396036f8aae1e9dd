#include "http/stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "http/body_pipe.h"
#include "platform/errors.h"

namespace http {

std::string TStream::ReadAllBytes() {
    const int64_t keep = GetPosition();
    std::string out(size_t(GetSize()), '\0');
    SetPosition(0);
    out.resize(Read(out.data(), out.size()));
    SetPosition(keep);
    return out;
}

size_t TStream::WriteFromPipe(TBodyPipe& Pipe, size_t Count) {
    // One write for the lot, so a size rule sees the bytes as it would have seen them.
    std::vector<char> bytes(Count);
    if (Pipe.Take(bytes.data(), Count) != Count) throw platform::EUpdaterError("Stream write error: the pipe ran dry");
    return Write(bytes.data(), Count);
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    char buf[65536];
    int64_t done = 0;
    while (Count < 0 || done < Count) {
        size_t want = sizeof buf;
        if (Count >= 0 && Count - done < int64_t(want)) want = size_t(Count - done);
        const size_t n = Source.Read(buf, want);
        if (n == 0) break;
        Write(buf, n);
        done += int64_t(n);
    }
    return done;
}

size_t TMemoryStream::Read(void* Buffer, size_t Count) {
    if (pos_ >= int64_t(data_.size())) return 0;
    const size_t n = std::min(Count, data_.size() - size_t(pos_));
    std::memcpy(Buffer, data_.data() + pos_, n);
    pos_ += int64_t(n);
    return n;
}

size_t TMemoryStream::Write(const void* Buffer, size_t Count) {
    if (Count == 0) return 0;
    if (size_t(pos_) + Count > data_.size()) data_.resize(size_t(pos_) + Count);
    std::memcpy(data_.data() + pos_, Buffer, Count);
    pos_ += int64_t(Count);
    return Count;
}

void TMemoryStream::SetSize(int64_t Size) {
    data_.resize(size_t(Size < 0 ? 0 : Size));
    if (pos_ > int64_t(data_.size())) pos_ = int64_t(data_.size());
}

}  // namespace http
