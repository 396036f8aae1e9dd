// The line reader on its own: packets come from a list, so packet boundaries, line-end
// carries, limits and the source's errors are exact without a server.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "http/line_reader.h"
#include "http/socket_errors.h"

using namespace http;

namespace {
// Hands out the listed packets in order, then fails with Error.
struct TPacketList {
    explicit TPacketList(const std::vector<std::string>& P = {}) : Packets(P.begin(), P.end()) {}
    std::deque<std::string> Packets;
    int Error = wsConnectionReset;
    std::vector<int> Waits;  // the time-out each call was given

    TPacketSource Source() {
        return [this](int TimeoutMs, std::string& Packet) {
            Waits.push_back(TimeoutMs);
            if (Packets.empty()) return Error;
            Packet = Packets.front();
            Packets.pop_front();
            return int(wsNoError);
        };
    }
};

// Reads lines until the reader fails; the failure ends the list as "error N".
std::vector<std::string> AllLines(TLineReader& Reader, TPacketList& List, const TLineRules& Rules,
                                  std::string_view Terminator = "\r\n") {
    std::vector<std::string> got;
    for (;;) {
        std::string line;
        const int error = Reader.ReadLine(List.Source(), Rules, 1000, Terminator, line);
        if (error != 0) {
            got.push_back("error " + std::to_string(error));
            return got;
        }
        got.push_back(line);
    }
}
}  // namespace

TEST(LineReader, LineEnds) {
    const TLineRules convert{true, true, 0};
    const TLineRules plain{false, true, 0};
    const std::string reset = "error " + std::to_string(wsConnectionReset);
    struct {
        const char* Name;
        TLineRules Rules;
        std::vector<std::string> Packets;
        std::vector<std::string> Lines;
    } const cases[] = {
        {"CR LF in one packet", convert, {"a\r\nb\r\n"}, {"a", "b", reset}},
        {"CR | LF across packets", convert, {"abc\r", "\ndef\r\n"}, {"abc", "def", reset}},
        {"LF | CR across packets", convert, {"abc\n", "\rdef\n\r"}, {"abc", "def", reset}},
        {"lone CR and lone LF", convert, {"a\rb\nc\r"}, {"a", "b", "c", reset}},
        {"CR | CR LF is an empty line", convert, {"abc\r", "\r\ndef\r\n"}, {"abc", "", "def", reset}},
        {"LF LF is an empty line", convert, {"a\n\nb\n"}, {"a", "", "b", reset}},
        {"line split mid-text", convert, {"ab", "c", "\r\n"}, {"abc", reset}},
        {"without conversion only CR LF ends a line", plain, {"a\nb\rc\r\n"}, {"a\nb\rc", reset}},
        {"without conversion a CR LF split across packets", plain, {"a\r", "\nb\r\n"}, {"a", "b", reset}},
        {"an unfinished line is not a line", convert, {"tail"}, {reset}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string buffer;
        TLineReader reader(buffer);
        TPacketList list(c.Packets);
        EXPECT_EQ(AllLines(reader, list, c.Rules), c.Lines);
    }
}

TEST(LineReader, OtherTerminatorsAndTheCarryOfAPacketReadAlone) {
    std::string buffer;
    TLineReader reader(buffer);
    TPacketList list({"HTTP/1.0 200 OK\r\n\r\nrest"});
    EXPECT_EQ(AllLines(reader, list, {true, true, 0}, "\n"),
              (std::vector<std::string>{"HTTP/1.0 200 OK\r", "\r", "error 10054"}));
    EXPECT_EQ(buffer, "rest");  // what was read stays for the next receive

    // A line that ended on a lone CR at the end of the data: the LF that opens the next packet
    // completes it and is dropped, also when that packet is taken whole.
    buffer.clear();
    TPacketList split({"abc\r"});
    std::string line;
    ASSERT_EQ(reader.ReadLine(split.Source(), {true, true, 0}, 1000, "\r\n", line), 0);
    std::string packet = "\nbody";
    reader.ApplyCarry(packet, true);
    EXPECT_EQ(packet, "body");
    packet = "\nagain";
    reader.ApplyCarry(packet, true);  // the carry applies once
    EXPECT_EQ(packet, "\nagain");
}

TEST(LineReader, Limits) {
    struct {
        const char* Name;
        size_t MaxLineLength;
        std::vector<std::string> Packets;
        int Error;
    } const cases[] = {
        {"a line at the limit", 5, {"12345\r\n"}, 0},
        {"a line over the limit", 5, {"123456\r\n"}, wsNoBufferSpace},
        {"a line that grows past the limit without an end", 5, {"123", "456", "789"}, wsNoBufferSpace},
        {"no maximum still bounds a line", 0, std::vector<std::string>(3, std::string(40000, 'x')), wsNoBufferSpace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string buffer, line;
        TLineReader reader(buffer);
        TPacketList list(c.Packets);
        EXPECT_EQ(reader.ReadLine(list.Source(), {true, true, c.MaxLineLength}, 1000, "\r\n", line), c.Error);
        // The reader stops at the limit: it never asks for more than it can refuse.
        if (c.Error == wsNoBufferSpace) {
            EXPECT_LT(buffer.size(), (c.MaxLineLength > 0 ? c.MaxLineLength : kDefaultLineLimit) + 40000);
        }
    }
    std::string buffer, line;
    TLineReader reader(buffer);
    TPacketList none;
    EXPECT_EQ(reader.ReadLine(none.Source(), {}, 1000, "", line), wsInvalidArgument);
    EXPECT_TRUE(none.Waits.empty());
}

TEST(LineReader, ExactSizes) {
    struct {
        const char* Name;
        std::vector<std::string> Packets;
        size_t Length;
        int Error;
        std::string Out, Left;
    } const cases[] = {
        {"exactly one packet", {"hello"}, 5, 0, "hello", ""},
        {"across packets with a surplus", {"he", "llo wor"}, 5, 0, "hello", " wor"},
        {"the source fails part-way", {"he"}, 5, wsConnectionReset, "", "he"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string buffer, out;
        TLineReader reader(buffer);
        TPacketList list(c.Packets);
        EXPECT_EQ(reader.ReadExact(list.Source(), {}, 1000, c.Length, out), c.Error);
        EXPECT_EQ(out, c.Out);
        EXPECT_EQ(buffer, c.Left);
    }
}

TEST(LineReader, TimeOutPerPacketOrForTheWholeRead) {
    // Per packet: every packet may take the whole time-out. For the whole read: each wait gets
    // what is left, and nothing left is the time-out error.
    std::string buffer, line;
    TLineReader reader(buffer);
    TPacketList list({"a", "b", "\r\n"});
    ASSERT_EQ(reader.ReadLine(list.Source(), {true, true, 0}, 700, "\r\n", line), 0);
    EXPECT_EQ(list.Waits, (std::vector<int>{700, 700, 700}));

    int calls = 0;
    const TPacketSource late = [&](int TimeoutMs, std::string& Packet) {
        ++calls;
        EXPECT_LE(TimeoutMs, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Packet = "x";
        return int(wsNoError);
    };
    EXPECT_EQ(reader.ReadLine(late, {true, false, 0}, 50, "\r\n", line), wsTimedOut);
    EXPECT_GE(calls, 1);
    EXPECT_LE(calls, 3);
}
