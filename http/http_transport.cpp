#include "http/http_transport.h"

#include <optional>
#include "http/http_request.h"

#include "http/socket_errors.h"
#include "platform/scoped_value.h"
#include "platform/strconv.h"

using namespace http;
using namespace platform;

namespace {
constexpr int kSocketBuffer = 65536;
// A request body below this size leaves in the same write as the header text.
constexpr int64_t kOneWriteBody = 65536;
}  // namespace

THTTPTransport::THTTPTransport() : Sock(std::make_unique<TTCPClientSocket>()) {
    Sock->ConvertLineEnd = true;
    Sock->SizeRecvBuffer = kSocketBuffer;
    Sock->SizeSendBuffer = kSocketBuffer;
    Sock->MaxLineLength = int(kMaxReplyLine);
    Clear();
}

THTTPTransport::~THTTPTransport() {
    // The socket goes first, while the rest of the object is still whole. Its hooks may
    // belong to a derived object that is already gone; the socket drops them before closing.
    Sock.reset();
}

void THTTPTransport::Clear() {
    Document.Clear();
    if (OutputStream) {
        OutputStream->SetSize(0);
        OutputStream->SetPosition(0);
    }
    Headers.Clear();
    MimeType = "text/html";
}

void THTTPTransport::DecodeStatus(const std::string& Value) {
    const TStatusLine st = ParseStatusLine(Value);
    ResultCode = st.Code;
    ResultString = st.Reason;
}

void THTTPTransport::Abort() { Sock->StopFlag = true; }

void THTTPTransport::FailWith(int ErrorCode) {
    Sock->LastError = ErrorCode;
    Sock->CheckError();
}

void THTTPTransport::DropConnection() {
    Sock->CloseSocket();
    AliveHost.clear();
    AlivePort.clear();
}

bool THTTPTransport::OpenConnection(bool Https) {
    // Reuse only a quiet connection: anything readable now (unread bytes, the peer's close)
    // means it is not waiting for our request.
    if (Sock->IsOpen() && AliveHost == TargetHost && AlivePort == TargetPort && !Sock->CanRead(0)) {
        Sock->ResetLastError();
        return true;
    }
    Sock->CloseSocket();
    // A connect that is never answered and a TLS handshake that never ends wait no longer
    // than a receive does.
    Sock->ConnectionTimeout = Timeout;
    Sock->Bind(IPInterface, "0");  // "0.0.0.0" binds nothing
    bool ok = !SocketFailed();
    if (ok) {
        Sock->Connect(TargetHost, TargetPort);
        ok = !SocketFailed();
    }
    if (ok && Https) {
        // The host's own name is lent for this handshake only; a name the caller set stays.
        TTLSPlugin& tls = Sock->SSL();
        std::optional<ScopedValue<std::string>> ownName;
        if (tls.SNIHost.empty()) ownName.emplace(tls.SNIHost, TargetHost);
        ok = Sock->StartTLS() && !SocketFailed();
    }
    if (!ok) {
        AliveHost.clear();
        AlivePort.clear();
        return false;
    }
    AliveHost = TargetHost;
    AlivePort = TargetPort;
    return true;
}

bool THTTPTransport::SendRequest(const std::string& HeadText) {
    TStream& source = BodySource();
    const int64_t size = source.GetSize();
    source.SetPosition(0);
    if (size <= 0) {
        Sock->SendString(HeadText);
    } else if (size < kOneWriteBody) {
        std::string all = HeadText;
        const size_t headSize = all.size();
        all.resize(headSize + size_t(size));
        all.resize(headSize + source.Read(all.data() + headSize, size_t(size)));
        UploadSize = int64_t(all.size());
        Sock->SendString(all);
    } else {
        UploadSize = size;
        Sock->SendString(HeadText);
        if (!SocketFailed()) Sock->SendStream(source);
    }
    return !SocketFailed();
}

bool THTTPTransport::HTTPMethod(const std::string& Method, const std::string& URL) {
    ResultCode = 500;
    ResultString.clear();
    DownloadSize = 0;
    UploadSize = 0;
    FRequestSent = false;

    const TUrlParts url = SplitUrl(Trim(URL));
    const bool https = SameText(url.Protocol, "HTTPS");
    SetTunnel(https);
    const bool viaProxy = !https && !ProxyHost.empty();
    const std::vector<std::string> lines = BuildRequest(Method, url, https, viaProxy);

    TargetHost = viaProxy ? ProxyHost : url.Host;
    TargetPort = viaProxy ? ProxyPort : url.Port;

    if (!OpenConnection(https)) return false;
    if (!SendRequest(RequestHeadText(lines, Protocol))) {
        // The connection is in an unknown state; never reuse it.
        DropConnection();
        return false;
    }
    return ReadReply(Method, url, https, viaProxy);
}

bool THTTPTransport::Exchange(const TRequest& Request, TBodySink& Sink, TReply& Reply) {
    Clear();
    for (const std::string& line : Request.ExtraLines) Headers.Add(line);
    ScopedValue<TStream*> output(OutputStream, &Sink);
    ScopedValue<TBodySink*> sink(FSink, &Sink);
    const bool ok = HTTPMethod(Request.Method, Request.Url);
    Reply.Code = ResultCode;
    Reply.Reason = ResultString;
    Reply.Lines = Headers.Lines();
    return ok;
}

void THTTPTransport::SetTunnel(bool Https) {
    // Only HTTPS goes through a CONNECT tunnel; plain HTTP asks the proxy itself.
    if (Https) {
        Sock->HTTPTunnelIP = ProxyHost;
        Sock->HTTPTunnelPort = ProxyPort;
        Sock->HTTPTunnelUser = ProxyUser;
        Sock->HTTPTunnelPass = ProxyPass;
    } else {
        Sock->HTTPTunnelIP.clear();
        Sock->HTTPTunnelPort.clear();
        Sock->HTTPTunnelUser.clear();
        Sock->HTTPTunnelPass.clear();
    }
}

std::vector<std::string> THTTPTransport::BuildRequest(const std::string& Method, const TUrlParts& Url, bool Https,
                                                      bool ViaProxy) {
    TRequestHeadInput in;
    in.Method = Method;
    in.Url = Url;
    if (!Url.User.empty()) {
        in.User = DecodeUrlText(Url.User);
        in.Password = DecodeUrlText(Url.Password);
    } else {
        in.User = UserName;
        in.Password = Password;
    }
    in.ViaProxy = ViaProxy;
    in.BodySize = BodySource().GetSize();
    in.Protocol = Protocol;
    in.KeepAlive = KeepAlive;
    in.KeepAliveTimeout = KeepAliveTimeout;
    in.ProxyUser = ProxyUser;
    in.ProxyPass = ProxyPass;
    TStringList cookies = Cookies;
    for (std::string& c : CookieJar.For(Url.Host, Https)) cookies.Add(std::move(c));
    in.Cookies = &cookies;
    in.UserAgent = UserAgent;
    in.MimeType = MimeType;
    in.AddPortNumberToHost = AddPortNumberToHost;
    in.ExtraLines = Headers.Lines();
    std::vector<std::string> lines = BuildRequestLines(in);
    // Headers now shows the request as it goes out.
    Headers.Clear();
    for (const std::string& line : lines) Headers.Add(line);
    return lines;
}

bool THTTPTransport::ReadReply(const std::string& Method, const TUrlParts& Url, bool Https, bool ViaProxy) {
    Clear();
    FRequestSent = true;
    TransferEncoding = TE_UNKNOWN;

    TReplyHead head;
    const THeadResult got = ReadReplyHead(
        [this](std::string& line) {
            line = Sock->RecvString(Timeout);
            return !SocketFailed();
        },
        ViaProxy, Protocol == "1.1" || (ViaProxy && FHoldProxyLeg), head);
    for (std::string& line : head.Lines) Headers.Add(std::move(line));
    ResultCode = head.ResultCode;
    ResultString = head.ResultString;
    MimeType = head.Framing.MimeType;
    if (!head.BodyPrefix.empty()) BodySink().Write(head.BodyPrefix);
    if (got == THeadResult::TooLarge) FailWith(wsNoBufferSpace);
    if (got != THeadResult::Ok) {
        DropConnection();
        return false;
    }
    TransferEncoding = head.Framing.Encoding;
    const bool proxyDenied = ViaProxy && ResultCode == 407;
    // Only the proxy's challenge keeps the connection past an HTTP/1.0 exchange.
    if (ViaProxy && FHoldProxyLeg && !proxyDenied && Protocol != "1.1") head.Framing.CloseAfter = true;
    // A challenge without a length would be read until the proxy closes, and end as a
    // connection reset: its page is not needed.
    if (proxyDenied && TransferEncoding == TE_UNKNOWN) {
        DropConnection();
        return true;
    }
    if (FSink) {
        TReply reply;
        reply.Code = ResultCode;
        reply.Reason = ResultString;
        reply.Lines = Headers.Lines();
        try {
            FSink->Begin(reply);
        } catch (...) {
            // The body was refused unread: the connection is no longer at a reply's start.
            DropConnection();
            throw;
        }
    }

    bool ok = true;
    // The method went out in upper case, so "head" asked for no body either.
    if (!SameText(Method, "HEAD") && ResultCode != 204 && ResultCode != 304) {
        switch (TransferEncoding) {
        case TE_UNKNOWN: ok = ReadUnknown(); break;
        case TE_IDENTITY: ok = ReadIdentity(head.Framing.DeclaredLength); break;
        case TE_CHUNKED: ok = ReadChunked(); break;
        }
    }
    BodySink().SetPosition(0);
    // A body that failed part-way leaves unread bytes on the connection: never reuse it.
    if (head.Framing.CloseAfter || !ok) DropConnection();
    CookieJar.Update(Url.Host, Https, Headers);
    return ok;
}

bool THTTPTransport::ReadUnknown() {
    TStream& sink = BodySink();
    for (;;) {
        const std::string packet = Sock->RecvPacket(Timeout);
        if (SocketFailed()) break;
        sink.Write(packet);
    }
    if (Sock->LastError == wsConnectionReset) {
        Sock->ResetLastError();
        return true;
    }
    return false;
}

bool THTTPTransport::ReadIdentity(int64_t Size) {
    if (Size <= 0) return true;
    DownloadSize = Size;
    TStream& sink = BodySink();
    // The declared size only bounds the loop: pieces are stored as they complete, so a reply
    // that declares more than it sends costs what it sent.
    Sock->RecvToStream(sink, Timeout, Size);
    sink.SetPosition(sink.GetSize());
    return !SocketFailed();
}

bool THTTPTransport::ReadChunked() {
    for (;;) {
        std::string line;
        do {
            line = Sock->RecvString(Timeout);
            if (SocketFailed()) return false;
        } while (line.empty());
        const int64_t size = ParseChunkSize(line);
        // A size that cannot be read leaves the body's end unknown: the reply is broken.
        if (size < 0) {
            FailWith(wsInvalidArgument);
            return false;
        }
        if (size == 0) break;
        if (!ReadIdentity(size)) break;
    }
    return !SocketFailed();
}
