#pragma once
// The raw operations on a socket handle that the socket and the TLS plug-in share. Handles
// are non-blocking; waits are done with the helpers here. Results carry Winsock numbers, so
// nothing above this header sees errno. No OS header here.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/socket_errors.h"

namespace http {

class TBodyPipe;

// >= 0: bytes moved (a receive of 0 means the peer closed). < 0: failed, Error holds the
// Winsock number (wsWouldBlock when nothing could move right now).
long RawSend(int Fd, const void* Buffer, size_t Len, int& Error);  // never raises SIGPIPE
long RawRecv(int Fd, void* Buffer, size_t Len, int& Error);
// A receive into a kernel pipe (body_pipe.h) instead of memory; the same results.
long RawRecvToPipe(int Fd, TBodyPipe& Pipe, size_t Len, int& Error);

// The calls that move bytes, under every socket and every TLS connection alike. The
// system's goes straight to the OS; another can be installed for the whole process (a test's
// fault injector wraps the system's).
class TSocketRawIO {
public:
    virtual ~TSocketRawIO() = default;
    virtual long Send(int Fd, const void* Buffer, size_t Len, int& Error) = 0;
    virtual long Recv(int Fd, void* Buffer, size_t Len, int& Error) = 0;
    // Default: not supported (wsOperationNotSupported), so that a replacement which knows only
    // Send and Recv still sees every byte of a body come through Recv.
    virtual long RecvToPipe(int Fd, TBodyPipe& Pipe, size_t Len, int& Error);
    // The wait of a closing connection for bytes still on their way, before it drains them.
    virtual void Pause(int Ms);
};
TSocketRawIO& SystemSocketIO();
// RawSend and RawRecv go through Io from now on; nullptr puts the system's back. Install
// before any socket is in use: a call in progress keeps the one it started with.
void SetSocketRawIO(TSocketRawIO* Io);
// Pause through the installed raw I/O.
void RawPause(int Ms);

enum class TWaitResult { Ready, TimedOut, Stopped, Failed };
// Waits until Fd is readable (Write false) or writable. TimeoutMs < 0 waits without limit.
// A set Stop flag ends the wait within a few tens of milliseconds, and so does a wait hook
// (platform/wait_hook.h) that reports a stop; the hook runs between the slices. Failed sets Error.
TWaitResult WaitSocket(int Fd, bool Write, int TimeoutMs, const std::atomic<bool>* Stop, int& Error);
// One slice of that wait, the platform's part (socket_io_posix.cpp, socket_io_win.cpp): Ready,
// Failed with Error set, or TimedOut when SliceMs passed (or the wait was interrupted).
TWaitResult WaitSlice(int Fd, bool Write, int SliceMs, int& Error);
// The Winsock code of a wait that did not end Ready: 10060 for the time-out, 10053 for the stop
// flag, Error for a failure; 0 for Ready.
int WaitErrorCode(TWaitResult Result, int Error);

// Milliseconds on a monotonic clock, for deadlines.
int64_t MonotonicMs();
// TimeoutMs < 0 stays "no limit"; otherwise the time left until Deadline, at least 0.
int RemainingMs(int64_t Deadline, int TimeoutMs);

// Host without the brackets of an IPv6 literal ("[::1]" is "::1"); any other text as it is.
std::string Unbracketed(const std::string& Host);
// "1.2.3.4" or an IPv6 literal (with or without brackets).
bool IsIPLiteral(const std::string& Host);
// The host as the resolver takes it: brackets of an IPv6 literal removed, "" as 0.0.0.0.
std::string ResolverHost(const std::string& Host);
// Names under the reserved .invalid domain never resolve: answered at once, without a
// pointless trip to the name server.
bool IsNeverResolved(const std::string& Host);

// Closes an OS socket handle; the RAII owner below is the only caller.
void CloseSocketHandle(int Fd);

// Owns one socket handle. Move-only; closes on destruction.
class TSocketHandle {
public:
    TSocketHandle() = default;
    explicit TSocketHandle(int Fd) : fd_(Fd) {}
    ~TSocketHandle() { Reset(); }
    TSocketHandle(TSocketHandle&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    TSocketHandle& operator=(TSocketHandle&& o) noexcept {
        if (this != &o) Reset(), fd_ = o.fd_, o.fd_ = -1;
        return *this;
    }
    TSocketHandle(const TSocketHandle&) = delete;
    TSocketHandle& operator=(const TSocketHandle&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) CloseSocketHandle(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// A resolved address; its bytes are the platform's (address_lookup.h), opaque above it.
struct TSockAddr {
    alignas(8) unsigned char Storage[128] = {};
    unsigned Len = 0;
    bool IPv6 = false;
    std::string IP;  // numeric form
    int Port = 0;
};

// Host may be an IPv4 or IPv6 literal (brackets allowed) or a name; a name takes the first
// IPv4 result when PreferIP4, else the first result. Port is a number or a service name.
// Returns 0 or a Winsock number (11001 for a name that does not resolve).
int ResolveAddress(const std::string& Host, const std::string& Port, bool PreferIP4, TSockAddr& Out);
// A port number, or a service name's; -1 when neither.
int PortNumber(const std::string& Port);

// A new non-blocking TCP handle (-1 and Error on failure). Buffer sizes > 0 are applied.
int OpenTcpHandle(bool IPv6, int RecvBuffer, int SendBuffer, int& Error);
// Connects; TimeoutMs <= 0 waits as long as the OS lets a connect take. Waited tells whether
// the handshake needed a writability wait that succeeded. Returns 0 or a Winsock number
// (10060 when the time ran out, 10053 when Stop was set).
int ConnectHandle(int Fd, const TSockAddr& Addr, int TimeoutMs, const std::atomic<bool>* Stop, bool& Waited);
int BindHandle(int Fd, const TSockAddr& Addr);
void ShutdownSend(int Fd);
// Bytes the OS holds for reading (0 on error).
int BytesWaiting(int Fd);
// The local (Peer false) or remote address of a handle; false when it has none.
bool HandleAddress(int Fd, bool Peer, std::string& IP, int& Port);
void SleepMs(int Ms);

}  // namespace http
