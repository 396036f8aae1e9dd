#pragma once
// The HTTP/1.0 client: one object carries one request and its reply. It builds the request
// header from its fields, connects directly, through an HTTP proxy or through a CONNECT
// tunnel, sends, and reads the status line, the header lines and the body.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http/cookie_jar.h"
#include "http/http_exchange.h"
#include "http/http_reply.h"
#include "http/stream.h"
#include "http/tcp_socket.h"
#include "http/url.h"
#include "platform/string_list.h"

class THTTPTransport {
public:
    THTTPTransport();
    virtual ~THTTPTransport();
    THTTPTransport(const THTTPTransport&) = delete;
    THTTPTransport& operator=(const THTTPTransport&) = delete;

    // Empties Document and Headers, empties OutputStream when set, MimeType "text/html".
    // InputStream is the caller's request body and is never truncated.
    void Clear();
    // One exchange. True: the request went out and the reply was read without a socket error,
    // whatever its status (ResultCode, ResultString). False: no connection or a socket error
    // (Sock->LastError), unless Sock->RaiseExcept is on, which raises ESocketError instead.
    virtual bool HTTPMethod(const std::string& Method, const std::string& URL);
    // The same exchange with the request's own header lines, the body into Sink (told the
    // head first) and the head copied into Reply. Headers and OutputStream are lent for the
    // call and put back; the reply's lines stay in Headers, as HTTPMethod leaves them.
    bool Exchange(const http::TRequest& Request, http::TBodySink& Sink, http::TReply& Reply);
    void DecodeStatus(const std::string& Value);
    // The next send or receive fails with 10053.
    void Abort();

    // The request body (InputStream when set, else Document) and the reply body's sink
    // (OutputStream when set, else Document).
    http::TStream& BodySource() { return InputStream ? *InputStream : Document; }
    http::TStream& BodySink() { return OutputStream ? *OutputStream : Document; }

    std::string TargetHost = "127.0.0.1";
    std::string TargetPort = "80";
    std::string IPInterface = "0.0.0.0";
    int Timeout = 90000;
    std::string UserName, Password;
    std::unique_ptr<TTCPClientSocket> Sock;
    TTransferEncoding TransferEncoding = TE_UNKNOWN;
    std::string AliveHost, AlivePort;
    platform::TStringList Headers;  // before: extra request lines; after: status and header lines
    http::TMemoryStream Document;   // before: request body; after: reply body
    std::string MimeType = "text/html";
    std::string Protocol = "1.0";
    bool KeepAlive = true;
    int KeepAliveTimeout = 300;
    std::string ProxyHost, ProxyPort = "8080", ProxyUser, ProxyPass;
    int ResultCode = 0;
    std::string ResultString;
    std::string UserAgent = "Mozilla/5.0 (compatible; zelHTTP)";
    platform::TStringList Cookies;  // the caller's own name=value lines, sent to every host
    http::TCookieJar CookieJar;     // what servers set, sent back to the host that set it
    int64_t DownloadSize = 0;       // declared length of the body part being read
    int64_t UploadSize = 0;
    bool AddPortNumberToHost = true;
    http::TStream* InputStream = nullptr;   // not owned
    http::TStream* OutputStream = nullptr;  // not owned

protected:
    // The three body readers, by framing; each returns success.
    virtual bool ReadUnknown();
    virtual bool ReadIdentity(int64_t Size);
    virtual bool ReadChunked();

    // Fails the exchange through the socket's error step (raises with RaiseExcept).
    void FailWith(int ErrorCode);
    // Closes the connection and forgets it, so the next request connects anew.
    void DropConnection();

    // The whole request went out: from here on the body sink holds reply bytes only.
    bool FRequestSent = false;
    // A proxy's 407 leaves the connection open unless the proxy closes it: a connection-
    // oriented handshake with the proxy is under way.
    bool FHoldProxyLeg = false;

private:
    http::TBodySink* FSink = nullptr;  // set by Exchange for its one call

private:
    void SetTunnel(bool Https);
    // Fills Headers with the request's lines and returns them.
    std::vector<std::string> BuildRequest(const std::string& Method, const http::TUrlParts& Url, bool Https,
                                          bool ViaProxy);
    bool OpenConnection(bool Https);
    bool SendRequest(const std::string& HeadText);
    // After the request went out: the status, the header lines and the body.
    bool ReadReply(const std::string& Method, const http::TUrlParts& Url, bool Https, bool ViaProxy);
    bool SocketFailed() const { return Sock->LastError != 0; }
};
