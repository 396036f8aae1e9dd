#include "http/tcp_socket.h"

#include "http/socket_errors.h"
#include "http/tcp_socket_state.h"
#include "platform/scoped_value.h"
#include "platform/strconv.h"

using namespace http;
using namespace platform;

ESocketError::ESocketError(int Code, std::string Text)
    : EUpdaterError(Format("TCP/IP Socket error %d: %s", Code, Text.c_str())),
      ErrorCode(Code),
      ErrorMessage(std::move(Text)) {}

void TTCPClientSocket::State::Monitor(bool writing, const void* data, int len) {
    if (!s.OnMonitor) return;
    const ScopedValue<int> inside(monitorDepth, monitorDepth + 1);
    s.OnMonitor(s, writing, data, len);
}

bool TTCPClientSocket::State::TakeStop() {
    if (!s.StopFlag.exchange(false)) return false;
    s.LastError = wsConnectionAborted;
    return true;
}

void TTCPClientSocket::State::SetWaitError(TWaitResult r, int error) {
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

TTCPClientSocket::TTCPClientSocket() : state_(std::make_unique<State>(*this)), tls_(CreateTLSPlugin()) {}

TTCPClientSocket::~TTCPClientSocket() {
    // The owner is already partly destroyed when its socket goes: no hook may run now, and
    // nothing may be raised from a destructor.
    OnStatus = nullptr;
    OnMonitor = nullptr;
    RaiseExcept = false;
    CloseSocket();
}

bool TTCPClientSocket::State::OnlyTlsRecordsPending() {
    const int n = s.tls_->Recv(scratch.data(), int(scratch.size()));
    if (n > 0) {
        s.LineBuffer.assign(scratch.data(), size_t(n));  // bytes after the end: the purge drains them
        return false;
    }
    return n == 0 || (n == TTLSPlugin::kWantRead && BytesWaiting(handle.Get()) == 0);
}

void TTCPClientSocket::CloseSocket() {
    // A hook that closes the socket abandons the connection: draining it there would read
    // into the very buffer the interrupted receive is still handing out.
    const bool drain = state_->handle.Valid() && LastError == 0 && state_->monitorDepth == 0;
    // A reply read to its declared end with nothing after it leaves nothing to drain: the
    // purge's wait would only add a millisecond to every connection. Over TLS what may follow
    // is the protocol's own (the peer's close_notify, session tickets), which says the same.
    bool quiet = drain && state_->readToEnd && LineBuffer.empty();
    if (quiet && state_->TlsActive() && BytesWaiting(state_->handle.Get()) > 0) quiet = state_->OnlyTlsRecordsPending();
    if (state_->TlsActive()) tls_->Shutdown();
    if (drain) {
        ShutdownSend(state_->handle.Get());
        if (!quiet || WaitingData() > 0) Purge();
    }
    state_->readToEnd = false;
    state_->handle.Reset();
    state_->connected = false;
    LineBuffer.clear();
    state_->lines.ResetCarry();
    state_->Status(SR_SocketClose, "");
}

void TTCPClientSocket::ResetLastError() {
    LastError = 0;
    LastErrorDesc.clear();
}

void TTCPClientSocket::CheckError() {
    LastErrorDesc =
        LastError == wsSystemNotReady && tls_->LastError != 0 ? tls_->LastErrorDesc : GetErrorDesc(LastError);
    if (LastError == 0 || LastError == wsWouldBlock || LastError == wsInProgress) return;
    state_->Status(SR_Error, std::to_string(LastError) + "," + LastErrorDesc);
    if (RaiseExcept) throw ESocketError(LastError, LastErrorDesc);
}

std::string TTCPClientSocket::GetErrorDesc(int ErrorCode) {
    return ErrorCode == 0 ? std::string() : WinsockErrorText(ErrorCode);
}

bool TTCPClientSocket::IsOpen() const { return state_->handle.Valid(); }

std::string TTCPClientSocket::GetLocalSinIP() const {
    std::string ip;
    int port = 0;
    HandleAddress(state_->handle.Get(), false, ip, port);
    return ip;
}

std::string TTCPClientSocket::GetRemoteSinIP() const {
    std::string ip;
    int port = 0;
    HandleAddress(state_->handle.Get(), true, ip, port);
    return ip;
}

int TTCPClientSocket::GetLocalSinPort() const {
    std::string ip;
    int port = 0;
    HandleAddress(state_->handle.Get(), false, ip, port);
    return port;
}

int TTCPClientSocket::GetRemoteSinPort() const {
    std::string ip;
    int port = 0;
    HandleAddress(state_->handle.Get(), true, ip, port);
    return port;
}
