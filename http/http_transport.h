#pragma once
// The HTTP/1.0 client: one object carries one request and its reply. It builds the request
// header from its fields, connects directly, through an HTTP proxy or through a CONNECT
// tunnel, sends, and reads the status line, the header lines and the body.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http/stream.h"
#include "http/tcp_socket.h"
#include "platform/string_list.h"

enum TTransferEncoding { TE_UNKNOWN, TE_IDENTITY, TE_CHUNKED };

// The parts of a URL as the transport splits it.
struct TUrlParts {
    std::string Protocol, User, Password, Host, Port, Path, Query, Target;
};
TUrlParts SplitUrl(const std::string& Url);

// RFC 4648 Base64 with "=" fill.
std::string EncodeBase64(std::string_view Bytes);

class THTTPTransport {
public:
    THTTPTransport();
    virtual ~THTTPTransport();
    THTTPTransport(const THTTPTransport&) = delete;
    THTTPTransport& operator=(const THTTPTransport&) = delete;

    void Clear();
    // One exchange; see the field comments for what it reads and fills.
    virtual bool HTTPMethod(const std::string& Method, const std::string& URL);
    void DecodeStatus(const std::string& Value);
    void Abort();

    std::string TargetHost = "127.0.0.1";
    std::string TargetPort = "80";
    std::string IPInterface = "0.0.0.0";
    int Timeout = 90000;
    std::string UserName, Password;
    std::unique_ptr<TTCPClientSocket> Sock;
    TTransferEncoding TransferEncoding = TE_UNKNOWN;
    std::string AliveHost, AlivePort;
    TStringList Headers;      // before: extra request lines; after: status and header lines
    TMemoryStream Document;   // before: request body; after: reply body
    std::string MimeType = "text/html";
    std::string Protocol = "1.0";
    bool KeepAlive = true;
    int KeepAliveTimeout = 300;
    std::string ProxyHost, ProxyPort = "8080", ProxyUser, ProxyPass;
    int ResultCode = 0;
    std::string ResultString;
    std::string UserAgent = "Mozilla/5.0 (compatible; zelHTTP)";
    TStringList Cookies;
    int64_t DownloadSize = 0;
    int64_t UploadSize = 0;
    bool AddPortNumberToHost = true;
    TStream* InputStream = nullptr;   // not owned
    TStream* OutputStream = nullptr;  // not owned

protected:
    // The three body readers, by framing; each returns success.
    virtual bool ReadUnknown();
    virtual bool ReadIdentity(int64_t Size);
    virtual bool ReadChunked();
};
