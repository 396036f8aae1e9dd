#pragma once
// Lines and exact-size blocks cut from a stream of packets. The packets come from a source
// (the socket's receive, or a list in a test), so line ends, carries across packets and
// limits are exercised without a connection.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace http {

// Fills Packet with the next block, waiting up to TimeoutMs; returns 0, or the Winsock
// number that ended the receive.
using TPacketSource = std::function<int(int TimeoutMs, std::string& Packet)>;

// A line has a bound even when no maximum is set, so a peer cannot grow it without end.
constexpr size_t kDefaultLineLimit = 65536;

struct TLineRules {
    bool ConvertLineEnd = false;     // with terminator CR LF: CR LF, LF CR, CR or LF end a line
    bool InterPacketTimeout = true;  // the time-out applies to each packet, not the whole read
    size_t MaxLineLength = 0;        // 0: kDefaultLineLimit
};

class TLineReader {
public:
    // Buffer holds what was received and not consumed yet; the owner may read or clear it.
    explicit TLineReader(std::string& Buffer) : buf_(Buffer) {}

    // One line without its end, or a Winsock number: 10055 for a line over the limit, 10060
    // when the whole-read time ran out, 10022 for an empty terminator, or the source's error.
    // Whatever was read stays in the buffer.
    int ReadLine(const TPacketSource& Source, const TLineRules& Rules, int TimeoutMs, std::string_view Terminator,
                 std::string& Line);
    // Exactly Length bytes (the surplus stays in the buffer), or a Winsock number.
    int ReadExact(const TPacketSource& Source, const TLineRules& Rules, int TimeoutMs, size_t Length, std::string& Out);

    // A packet fresh from the connection: drops the LF (CR) that completes a line which ended
    // on a lone CR (LF) at the end of the previous data.
    void ApplyCarry(std::string& Packet, bool ConvertLineEnd);
    // The same for a block received in place; returns its length after the drop.
    size_t ApplyCarry(char* Data, size_t Len, bool ConvertLineEnd);
    // Whether the next packet's first byte may still be dropped.
    bool CarryPending() const { return lastCR_ || lastLF_; }
    // Forgets the carry, as a new connection must.
    void ResetCarry() { lastCR_ = lastLF_ = false; }

private:
    int NextPacket(const TPacketSource& Source, const TLineRules& Rules, int64_t Deadline, int TimeoutMs);

    std::string& buf_;
    bool lastCR_ = false, lastLF_ = false;
};

}  // namespace http
