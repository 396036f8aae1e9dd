// Sending: the data in pieces of SendMaxChunk, each waiting for room when the OS buffer is full.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "http/socket_errors.h"
#include "http/tcp_socket_state.h"

using namespace http;

bool TTCPClientSocket::State::SendPiece(const char* data, size_t len) {
    if (!handle.Valid()) return Fail(wsNotConnected);
    size_t done = 0;
    while (done < len) {
        long n;
        int error = 0;
        bool waitReadable = false;
        if (TlsActive()) {
            n = s.tls_->Send(data + done, int(len - done));
            if (n == TTLSPlugin::kWantWrite)
                error = wsWouldBlock;
            else if (n == TTLSPlugin::kWantRead)
                error = wsWouldBlock, waitReadable = true;
            else if (n < 0)
                error = wsSystemNotReady;
        } else {
            n = RawSend(handle.Get(), data + done, len - done, error);
        }
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && error != wsWouldBlock) return Fail(error);
        const TWaitResult r = WaitSocket(handle.Get(), !waitReadable, s.NonblockSendTimeout, &s.StopFlag, error);
        if (r != TWaitResult::Ready) {
            SetWaitError(r, error);
            return false;
        }
        Status(waitReadable ? SR_CanRead : SR_CanWrite, "");
    }
    return true;
}

void TTCPClientSocket::State::Send(const char* data, size_t len) {
    readToEnd = false;
    if (TakeStop()) return;
    if (len == 0) return;
    Monitor(true, data, int(std::min<size_t>(len, size_t(INT32_MAX))));
    const size_t chunk = size_t(std::max(s.SendMaxChunk, 1));
    for (size_t off = 0; off < len; off += chunk) {
        const size_t piece = std::min(chunk, len - off);
        if (!SendPiece(data + off, piece)) return;
        Status(SR_WriteCount, std::to_string(piece));
    }
}

void TTCPClientSocket::SendString(std::string_view Data) {
    ResetLastError();
    state_->Send(Data.data(), Data.size());
    CheckError();
}

void TTCPClientSocket::SendBuffer(const void* Buffer, int Length) {
    ResetLastError();
    state_->Send(static_cast<const char*>(Buffer), size_t(std::max(Length, 0)));
    CheckError();
}

void TTCPClientSocket::SendStream(TStream& Stream) {
    ResetLastError();
    std::vector<char> buf(size_t(std::max(SendMaxChunk, 1)));
    for (;;) {
        const size_t n = Stream.Read(buf.data(), buf.size());
        if (n == 0) break;
        SendBuffer(buf.data(), int(n));
        if (LastError != 0) break;
    }
}

bool TTCPClientSocket::CanWrite(int Timeout) {
    ResetLastError();
    bool ready = false;
    if (state_->handle.Valid()) {
        int error = 0;
        const TWaitResult r = WaitSocket(state_->handle.Get(), true, Timeout, &StopFlag, error);
        ready = r == TWaitResult::Ready;
        if (r == TWaitResult::Failed) LastError = error;
    }
    if (ready) state_->Status(SR_CanWrite, "");
    CheckError();
    return ready;
}
