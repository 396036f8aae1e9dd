#pragma once
// Byte streams with a position, the shape the transport reads bodies from and writes them to.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace http {

class TBodyPipe;

class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to Count bytes at the position; returns the number read.
    virtual size_t Read(void* Buffer, size_t Count) = 0;
    // Writes Count bytes at the position, growing the stream; returns the number written
    // (fewer only on a failure, which the file stream also raises).
    virtual size_t Write(const void* Buffer, size_t Count) = 0;
    virtual int64_t GetPosition() const = 0;
    virtual void SetPosition(int64_t Pos) = 0;
    virtual int64_t GetSize() const = 0;
    virtual void SetSize(int64_t Size) = 0;
    // A stream that stores bytes unchanged at the offset of an OS file may take a body
    // straight from a kernel pipe. Default: no; every byte comes through Write.
    virtual bool TakesFromPipe() const { return false; }
    // Stores Count bytes held in Pipe as Write would (raising what Write raises). Default:
    // takes them into memory and writes them.
    virtual size_t WriteFromPipe(TBodyPipe& Pipe, size_t Count);

    size_t Write(std::string_view Bytes) { return Write(Bytes.data(), Bytes.size()); }
    // The whole stream as bytes; the position is left where it was.
    std::string ReadAllBytes();
    // Copies Count bytes (all when < 0) from Source's position into this stream.
    int64_t CopyFrom(TStream& Source, int64_t Count);
};

class TMemoryStream final : public TStream {
public:
    using TStream::Write;
    size_t Read(void* Buffer, size_t Count) override;
    size_t Write(const void* Buffer, size_t Count) override;
    int64_t GetPosition() const override { return pos_; }
    void SetPosition(int64_t Pos) override { pos_ = Pos < 0 ? 0 : Pos; }
    int64_t GetSize() const override { return int64_t(data_.size()); }
    void SetSize(int64_t Size) override;
    void Clear() { data_.clear(), pos_ = 0; }
    const std::string& Bytes() const { return data_; }

private:
    std::string data_;
    int64_t pos_ = 0;
};

// OpenWrite keeps what the file holds (creating it when missing): a download that continues
// where an earlier one was cut writes after the kept bytes.
enum class TFileMode { CreateWrite, OpenWrite, OpenRead };

// A file as a stream. The constructor raises EUpdaterError with the runtime's texts
// ("Cannot create file \"%s\". %s" / "Cannot open file \"%s\". %s") when it cannot open;
// the writing modes give the first.
class TFileStream final : public TStream {
public:
    TFileStream(const std::string& FileName, TFileMode Mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    using TStream::Write;
    size_t Read(void* Buffer, size_t Count) override;
    size_t Write(const void* Buffer, size_t Count) override;
    int64_t GetPosition() const override;
    void SetPosition(int64_t Pos) override;
    int64_t GetSize() const override;
    void SetSize(int64_t Size) override;
    bool TakesFromPipe() const override;
    size_t WriteFromPipe(TBodyPipe& Pipe, size_t Count) override;
    const std::string& FileName() const { return name_; }

private:
    int fd_ = -1;
    std::string name_;
    // The stream is the file's only writer, so it knows where it stands without asking the
    // file system: a download asks for the size at every received packet.
    int64_t pos_ = 0;
    int64_t size_ = 0;
};

}  // namespace http
