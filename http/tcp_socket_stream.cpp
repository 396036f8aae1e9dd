// A body of known size received into a stream.
#include <algorithm>
#include <cstdint>

#include "http/tcp_socket_impl.h"

void TTCPClientSocket::RecvToStream(TStream& Stream, int Timeout, int64_t Size) {
    ResetLastError();
    const int64_t chunk = std::max(SendMaxChunk, 1);
    std::string piece;
    if (Size > 0) impl_->TakeStop();
    for (int64_t left = std::max<int64_t>(Size, 0); left > 0 && LastError == 0;) {
        const int64_t want = std::min(left, chunk);
        if (!impl_->ReadExact(size_t(want), Timeout, piece)) break;
        Stream.Write(piece);
        left -= want;
    }
    CheckError();
}
