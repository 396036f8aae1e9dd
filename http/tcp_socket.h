#pragma once
// The blocking TCP client connection under the HTTP transport: resolve, connect (optionally
// through a CONNECT tunnel), TLS, send and receive with time-outs, lines, and two hooks.
// Errors carry Winsock numbers and texts on every platform. No OS header here.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "http/stream.h"
#include "http/tls.h"
#include "platform/errors.h"

enum TSocketStatusReason {
    SR_ResolvingBegin,
    SR_ResolvingEnd,
    SR_SocketCreate,
    SR_SocketClose,
    SR_Bind,
    SR_Connect,
    SR_CanRead,
    SR_CanWrite,
    SR_Listen,
    SR_Accept,
    SR_ReadCount,
    SR_WriteCount,
    SR_Wait,
    SR_Error
};

class TTCPClientSocket;
using TSocketStatusHook =
    std::function<void(TTCPClientSocket& Sender, TSocketStatusReason Reason, const std::string& Value)>;
using TSocketMonitorHook = std::function<void(TTCPClientSocket& Sender, bool Writing, const void* Buffer, int Len)>;

// "TCP/IP Socket error %d: %s"
class ESocketError : public platform::EUpdaterError {
public:
    ESocketError(int Code, std::string Text);
    int ErrorCode;
    std::string ErrorMessage;
};

class TTCPClientSocket {
public:
    TTCPClientSocket();
    ~TTCPClientSocket();  // closes
    TTCPClientSocket(const TTCPClientSocket&) = delete;
    TTCPClientSocket& operator=(const TTCPClientSocket&) = delete;

    void Connect(const std::string& IP, const std::string& Port);
    void Bind(const std::string& IP, const std::string& Port);
    void CloseSocket();
    bool StartTLS();

    void SendString(std::string_view Data);
    void SendBuffer(const void* Buffer, int Length);
    void SendStream(http::TStream& Stream);

    std::string RecvPacket(int Timeout);
    std::string RecvUntil(int Timeout, std::string_view Terminator);
    std::string RecvString(int Timeout);             // RecvUntil with CR LF; empty on error
    std::string RecvExact(int Length, int Timeout);  // empty on error
    void RecvToStream(http::TStream& Stream, int Timeout, int64_t Size);

    bool CanRead(int Timeout);
    bool CanWrite(int Timeout);
    int WaitingData();
    void Purge();
    void ResetLastError();
    void CheckError();  // the error step
    static std::string GetErrorDesc(int ErrorCode);

    bool IsOpen() const;
    std::string GetLocalSinIP() const;
    std::string GetRemoteSinIP() const;
    int GetLocalSinPort() const;
    int GetRemoteSinPort() const;

    // State the rest of the system relies on; defaults as documented.
    int LastError = 0;
    std::string LastErrorDesc;
    bool RaiseExcept = false;
    bool ConvertLineEnd = false;
    std::string LineBuffer;
    int SendMaxChunk = 65536;
    bool InterPacketTimeout = true;
    int ConnectionTimeout = 0;
    int NonblockSendTimeout = 15000;
    int MaxLineLength = 0;
    // Low-speed rule: a receive fails with 10060 once the peer has moved fewer than
    // LowSpeedLimit bytes a second over LowSpeedWindow milliseconds of waiting for it (0: the
    // receive's own time-out). A peer that drips keeps each single wait short, so the time-out
    // alone never ends it. LowSpeedLimit 0 turns the rule off.
    int LowSpeedLimit = 100;
    int LowSpeedWindow = 0;
    bool PreferIP4 = true;
    // Set by Abort; may be set from another thread: a wait in progress ends within ~50 ms.
    std::atomic<bool> StopFlag{false};
    TSocketStatusHook OnStatus;
    // Every block sent or received, before it is stored. A large plain body that goes straight
    // from the connection into a file shows its blocks by length alone (Buffer nullptr).
    TSocketMonitorHook OnMonitor;
    std::string HTTPTunnelIP, HTTPTunnelPort, HTTPTunnelUser, HTTPTunnelPass;
    int HTTPTunnelTimeout = 30000;
    bool HTTPTunnel = false;
    // A proxy's 407 to CONNECT: given the answer's lines, sets the next Proxy-Authorization
    // value and returns true to ask again (on the same connection when the proxy keeps it),
    // false to give up. Unset: a 407 fails the tunnel.
    std::function<bool(const std::vector<std::string>& Answer, std::string& Authorization)> HTTPTunnelAuth;
    // Set by HTTPTunnelAuth when its next round must go over a fresh connection.
    bool HTTPTunnelReconnect = false;
    std::vector<std::string> HTTPTunnelAnswer;  // the proxy's last answer to CONNECT
    int SizeRecvBuffer = 0;  // 0: the system's; applied when the handle is created
    int SizeSendBuffer = 0;
    http::TTLSPlugin& SSL() { return *tls_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    std::unique_ptr<http::TTLSPlugin> tls_;
};
