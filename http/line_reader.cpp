#include "http/line_reader.h"

#include <algorithm>
#include <cstring>

#include "http/socket_errors.h"
#include "http/socket_io.h"

namespace http {

void TLineReader::ApplyCarry(std::string& Packet, bool ConvertLineEnd) {
    Packet.resize(ApplyCarry(Packet.data(), Packet.size(), ConvertLineEnd));
}

size_t TLineReader::ApplyCarry(char* Data, size_t Len, bool ConvertLineEnd) {
    if (Len == 0) return 0;
    const bool drop = ConvertLineEnd && ((lastCR_ && Data[0] == '\n') || (lastLF_ && Data[0] == '\r'));
    ResetCarry();
    if (!drop) return Len;
    std::memmove(Data, Data + 1, Len - 1);
    return Len - 1;
}

int TLineReader::NextPacket(const TPacketSource& Source, const TLineRules& Rules, int64_t Deadline, int TimeoutMs) {
    const int wait = Rules.InterPacketTimeout ? TimeoutMs : RemainingMs(Deadline, TimeoutMs);
    if (wait == 0 && TimeoutMs > 0) return wsTimedOut;
    std::string packet;
    if (const int error = Source(wait, packet)) return error;
    ApplyCarry(packet, Rules.ConvertLineEnd);
    buf_ += packet;
    return wsNoError;
}

int TLineReader::ReadLine(const TPacketSource& Source, const TLineRules& Rules, int TimeoutMs,
                          std::string_view Terminator, std::string& Line) {
    Line.clear();
    if (Terminator.empty()) return wsInvalidArgument;
    const size_t limit = Rules.MaxLineLength > 0 ? Rules.MaxLineLength : kDefaultLineLimit;
    const bool convert = Rules.ConvertLineEnd && Terminator == "\r\n";
    const int64_t deadline = MonotonicMs() + std::max(TimeoutMs, 0);
    size_t scanFrom = 0;
    for (;;) {
        if (convert) {
            const size_t pos = buf_.find_first_of("\r\n", scanFrom);
            if (pos != std::string::npos) {
                if (pos > limit) return wsNoBufferSpace;
                const char end = buf_[pos];
                const bool atEnd = pos + 1 == buf_.size();
                size_t used = 1;
                if (!atEnd && buf_[pos + 1] != end && (buf_[pos + 1] == '\r' || buf_[pos + 1] == '\n')) used = 2;
                Line.assign(buf_, 0, pos);
                buf_.erase(0, pos + used);
                // A lone end at the end of the data may be half of a pair split across packets.
                lastCR_ = atEnd && end == '\r';
                lastLF_ = atEnd && end == '\n';
                return wsNoError;
            }
            scanFrom = buf_.size();
        } else {
            const size_t pos = buf_.find(Terminator, scanFrom);
            if (pos != std::string::npos) {
                if (pos > limit) return wsNoBufferSpace;
                Line.assign(buf_, 0, pos);
                buf_.erase(0, pos + Terminator.size());
                ResetCarry();
                return wsNoError;
            }
            scanFrom = buf_.size() >= Terminator.size() ? buf_.size() - Terminator.size() + 1 : 0;
        }
        if (scanFrom > limit) return wsNoBufferSpace;
        if (const int error = NextPacket(Source, Rules, deadline, TimeoutMs)) return error;
    }
}

int TLineReader::ReadExact(const TPacketSource& Source, const TLineRules& Rules, int TimeoutMs, size_t Length,
                           std::string& Out) {
    Out.clear();
    const int64_t deadline = MonotonicMs() + std::max(TimeoutMs, 0);
    // Bytes are stored as they arrive, never reserved up front: a peer that declares more than
    // it sends costs what it sent.
    while (buf_.size() < Length)
        if (const int error = NextPacket(Source, Rules, deadline, TimeoutMs)) return error;
    if (buf_.size() == Length) {
        Out.swap(buf_);
        buf_.clear();
    } else {
        Out.assign(buf_, 0, Length);
        buf_.erase(0, Length);
    }
    return wsNoError;
}

}  // namespace http
