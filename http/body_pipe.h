#pragma once
// A kernel pipe that carries a plain body from the socket into the file without passing it
// through the program's memory: the receive moves bytes into the pipe, the file takes whole
// pieces out of it. Only where the OS can splice (Linux); elsewhere Open fails and the body
// goes the ordinary way. No OS header here.
#include <cstddef>
#include <memory>
#include <string>

namespace http {

class TBodyPipe {
public:
    TBodyPipe();
    ~TBodyPipe();
    TBodyPipe(TBodyPipe&&) noexcept;
    TBodyPipe& operator=(TBodyPipe&&) noexcept;
    TBodyPipe(const TBodyPipe&) = delete;
    TBodyPipe& operator=(const TBodyPipe&) = delete;

    // Makes the pipe (an open one is kept) with room for at least Room bytes; false where
    // the platform has no such pipe or the OS refuses one that large.
    bool Open(size_t Room);
    size_t Room() const { return room_; }
    // Bytes in the pipe, waiting to be stored or taken back.
    size_t Held() const { return held_; }
    // Puts Len bytes from memory in (what was received ahead of the body); false on failure.
    bool Put(const char* Data, size_t Len);
    // Moves what socket Fd has ready, at most Len bytes, without waiting. >= 0: bytes moved
    // (0: the peer closed); < 0: Error holds the Winsock number (wsWouldBlock: nothing ready;
    // wsNoBufferSpace: the pipe can take no more, though it has room by bytes).
    long FromSocket(int Fd, size_t Len, int& Error);
    // Moves exactly Count held bytes into file descriptor Fd at its offset; false with the
    // system's text in Error.
    bool ToFile(int Fd, size_t Count, std::string& Error);
    // Takes up to Len held bytes back into memory; returns how many.
    size_t Take(char* Buffer, size_t Len);
    // Closes the pipe, forgetting what it held.
    void Reset();

private:
    struct Ends;
    std::unique_ptr<Ends> ends_;
    size_t room_ = 0;
    size_t held_ = 0;
};

}  // namespace http
