#pragma once
// One exchange seen as a request, a reply head and a sink for the body, apart from the
// transport's fields: a caller that continues a cut download needs its own header lines, the
// reply's head before the first body byte, and a body that lands after bytes already kept.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "http/stream.h"

namespace http {

struct TRequest {
    std::string Method = "GET";
    std::string Url;
    std::vector<std::string> ExtraLines;  // sent after the transport's own header lines
};

struct TReply {
    int Code = 500;
    std::string Reason;
    std::vector<std::string> Lines;  // status line(s) and folded header lines
    // The trimmed values of every header line named Name (any letter case), in order.
    std::vector<std::string> Values(std::string_view Name) const;
};

// Where a reply's body goes. Begin runs once the head has arrived and before any body byte;
// it may raise to refuse the body, and the connection is then dropped.
class TBodySink : public TStream {
public:
    virtual void Begin(const TReply& Head) { (void)Head; }
};

// A body stored in a file from Offset on: the bytes before it stay as they are, and the
// stream's positions and size count from Offset. Limit (-1: none) bounds the whole file;
// a write that would grow it past that raises EBodyTooLarge and writes nothing.
class TFileSink : public TBodySink {
public:
    TFileSink(TStream& File, int64_t Offset, int64_t Limit = -1);
    using TStream::Write;
    size_t Read(void* Buffer, size_t Count) override { return file_.Read(Buffer, Count); }
    size_t Write(const void* Buffer, size_t Count) override;
    bool TakesFromPipe() const override { return file_.TakesFromPipe(); }
    size_t WriteFromPipe(TBodyPipe& Pipe, size_t Count) override;
    int64_t GetPosition() const override { return file_.GetPosition() - offset_; }
    void SetPosition(int64_t Pos) override { file_.SetPosition(offset_ + (Pos < 0 ? 0 : Pos)); }
    int64_t GetSize() const override { return file_.GetSize() - offset_; }
    void SetSize(int64_t Size) override { file_.SetSize(offset_ + Size); }
    int64_t Offset() const { return offset_; }
    // The body starts at Offset instead, and the file is cut there.
    void StartAt(int64_t Offset);

private:
    // Raises EBodyTooLarge when Count more bytes would grow the file past the limit.
    void CheckRoom(size_t Count) const;

    TStream& file_;
    int64_t offset_;
    int64_t limit_;
};

}  // namespace http
