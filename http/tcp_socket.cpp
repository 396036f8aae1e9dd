#include "http/tcp_socket.h"

#include "http/socket_errors.h"
#include "http/tcp_socket_impl.h"
#include "platform/strconv.h"

using namespace http;
using namespace platform;

ESocketError::ESocketError(int Code, std::string Text)
    : EUpdaterError(Format("TCP/IP Socket error %d: %s", Code, Text.c_str())),
      ErrorCode(Code),
      ErrorMessage(std::move(Text)) {}

void TTCPClientSocket::Impl::Monitor(bool writing, const void* data, int len) {
    if (!s.OnMonitor) return;
    ++monitorDepth;
    try {
        s.OnMonitor(s, writing, data, len);
    } catch (...) {
        --monitorDepth;
        throw;
    }
    --monitorDepth;
}

bool TTCPClientSocket::Impl::TakeStop() {
    if (!s.StopFlag.exchange(false)) return false;
    s.LastError = wsConnectionAborted;
    return true;
}

void TTCPClientSocket::Impl::SetWaitError(TWaitResult r, int error) {
    switch (r) {
    case TWaitResult::Ready: break;
    case TWaitResult::TimedOut: s.LastError = wsTimedOut; break;
    case TWaitResult::Stopped:
        TakeStop();
        if (s.LastError == 0) s.LastError = wsConnectionAborted;
        break;
    case TWaitResult::Failed: s.LastError = error; break;
    }
}

TTCPClientSocket::TTCPClientSocket() : impl_(std::make_unique<Impl>(*this)), tls_(CreateTLSPlugin()) {}

TTCPClientSocket::~TTCPClientSocket() {
    // The owner is already partly destroyed when its socket goes: no hook may run now, and
    // nothing may be raised from a destructor.
    OnStatus = nullptr;
    OnMonitor = nullptr;
    RaiseExcept = false;
    CloseSocket();
}

void TTCPClientSocket::CloseSocket() {
    if (impl_->TlsActive()) tls_->Shutdown();
    // A hook that closes the socket abandons the connection: draining it there would read
    // into the very buffer the interrupted receive is still handing out.
    if (impl_->handle.Valid() && LastError == 0 && impl_->monitorDepth == 0) {
        ShutdownSend(impl_->handle.Get());
        Purge();
    }
    impl_->handle.Reset();
    impl_->connected = false;
    LineBuffer.clear();
    impl_->lines.ResetCarry();
    impl_->Status(SR_SocketClose, "");
}

void TTCPClientSocket::ResetLastError() {
    LastError = 0;
    LastErrorDesc.clear();
}

void TTCPClientSocket::CheckError() {
    LastErrorDesc =
        LastError == wsSystemNotReady && tls_->LastError != 0 ? tls_->LastErrorDesc : GetErrorDesc(LastError);
    if (LastError == 0 || LastError == wsWouldBlock || LastError == wsInProgress) return;
    impl_->Status(SR_Error, std::to_string(LastError) + "," + LastErrorDesc);
    if (RaiseExcept) throw ESocketError(LastError, LastErrorDesc);
}

std::string TTCPClientSocket::GetErrorDesc(int ErrorCode) {
    return ErrorCode == 0 ? std::string() : WinsockErrorText(ErrorCode);
}

bool TTCPClientSocket::IsOpen() const { return impl_->handle.Valid(); }

std::string TTCPClientSocket::GetLocalSinIP() const {
    std::string ip;
    int port = 0;
    HandleAddress(impl_->handle.Get(), false, ip, port);
    return ip;
}

std::string TTCPClientSocket::GetRemoteSinIP() const {
    std::string ip;
    int port = 0;
    HandleAddress(impl_->handle.Get(), true, ip, port);
    return ip;
}

int TTCPClientSocket::GetLocalSinPort() const {
    std::string ip;
    int port = 0;
    HandleAddress(impl_->handle.Get(), false, ip, port);
    return port;
}

int TTCPClientSocket::GetRemoteSinPort() const {
    std::string ip;
    int port = 0;
    HandleAddress(impl_->handle.Get(), true, ip, port);
    return port;
}
