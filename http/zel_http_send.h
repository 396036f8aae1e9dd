#pragma once
// zelHTTPSend: the HTTP object the rest of the updater uses. A transport whose socket errors
// are exceptions, which finds the system's proxy before each request, turns the socket's
// status reports into three events, and offers ready-made fetches and posts.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "http/http_transport.h"
#include "http/proxy_auth.h"
#include "platform/os_services.h"
#include "platform/string_list.h"

// The proxy the system's settings name for one protocol. Bypass: entries separated by commas.
struct TProxySetting {
    std::string Host;
    std::string Port;
    std::string Bypass;
    std::string User, Password;  // from "user:password@host:port", percent-decoded
    std::string Ignored;  // the system's settings that were found and not used (see TSystemProxyText)
};

namespace http {

// The walk over a proxy server text ("p0:3128", "http=p1:80 https=p2:443",
// "http=p:8080;https=p:8443" ...): entries are separated by blanks, commas and semicolons;
// the first "protocol=" entry for Protocol wins, else the last entry without "=". Empty
// entries (two separators in a row) are skipped: they must not replace a named default. An
// entry without ":" gives an empty Port, so the caller keeps its default proxy port. An entry
// may carry "scheme://" and "user:password@" in front of its host.
TProxySetting ProxySettingFromText(const platform::TSystemProxyText& Text, const std::string& Protocol);
// The system's proxy for Protocol (empty means "http"); the empty setting when the system
// offers none.
TProxySetting ReadProxySettings(const std::string& Protocol);

}  // namespace http

class TzelHttpSend;
// Value: the socket report's text ("host:port", "code,text", or empty for a close).
using TConnectEvent = std::function<void(TzelHttpSend& Sender, const std::string& Value)>;
using TSocketErrorEvent = std::function<void(TzelHttpSend& Sender, const std::string& Value)>;
using TCloseSocketEvent = std::function<void(TzelHttpSend& Sender, const std::string& Value)>;

namespace http {
// Note: a line for the log about the proxy lookup.
using TProxyNoteEvent = std::function<void(TzelHttpSend& Sender, const std::string& Note)>;

// Extra form fields of a multipart upload, sent in this order.
using TFormFields = std::vector<std::pair<std::string, std::string>>;
}  // namespace http

class TzelHttpSend : public THTTPTransport {
public:
    TzelHttpSend();
    ~TzelHttpSend() override;

    // Refuses on Windows 95/98/ME, looks the proxy up when the protocol changed, then runs
    // the exchange. Socket errors leave as ESocketError.
    bool HTTPMethod(const std::string& Method, const std::string& URL) override;

    // GETs; an error page counts as a successful fetch (ResultCode tells).
    bool GetText(const std::string& URL, platform::TStringList& Datastrings);
    bool GetBinary(const std::string& URL, http::TStream& Response);
    bool GetFile(const std::string& URL, const std::string& FileLocation);

    // Form post of URLData (ANSI on the wire); on success the reply body goes to Data.
    bool PostURL(const std::string& URL, const std::string& URLData, http::TStream& Data);
    bool PostURL(const std::string& URL, const std::string& URLData, platform::TStringList& DataStrings);

    // Multipart uploads of the stream Data (from its start) as the part FieldName.
    bool PostFile(const std::string& URL, const std::string& FieldName, const std::string& FileName,
                  http::TStream& Data, platform::TStringList& ResultData);
    bool PostFile(const std::string& URL, const std::string& FieldName, const std::string& FileName,
                  const http::TFormFields& Data, http::TStream& FileData, platform::TStringList& ResultData);
    // Upload of the file FileName through a plain transport; socket errors come back in ErrMsg.
    bool PostFile(const std::string& URL, const std::string& FieldName, const std::string& FileName,
                  platform::TStringList& ResultData, std::string& ErrMsg);

    // aString as it survives the ANSI code page, written as UTF-8 (with a byte-order mark
    // when the stream is at its start).
    void ConvertToAnsiandStuffInStream(http::TStream& TargetStream, const std::string& aString);

    TConnectEvent OnConnect;
    TSocketErrorEvent OnSocketError;
    TCloseSocketEvent OnCloseSocket;
    // Lines for the log about the proxy: once per sender, the settings found and not used (a
    // SOCKS proxy), which otherwise silently send requests straight out where the user meant
    // a proxy; for each request, the proxy it goes through (or that it goes direct) and the
    // scheme that answered the proxy's challenge. Never a credential.
    http::TProxyNoteEvent OnProxyNote;
    // PostURL takes a "Connection reset by peer" failure after the whole request went out as
    // the end of the reply.
    bool IgnoreConnectionReset = false;

protected:
    // The socket's status hook.
    virtual void HandleSocketStatus(TTCPClientSocket& Sender, TSocketStatusReason Reason, const std::string& Value);
    void SetupProxy(const std::string& AProtocol);

    bool FCheckedForProxy = false;
    std::string FCurrentProt;
    std::string FProxyBypass;  // the bypass list of the settings looked up
    bool FSocketOpened = false;
    bool FProxyNoted = false;

private:
    // One exchange through ProxyHost, answering its challenges.
    bool ExchangeViaProxy(const std::string& Method, const std::string& URL, http::TProxyHandshake& Handshake);
    void Note(const std::string& Text);
    bool PostMultipart(const std::string& URL, const std::string& FieldName, const std::string& FileName,
                       const http::TFormFields* Fields, http::TStream& FileData, platform::TStringList& ResultData);
};

// Stand-alone multipart upload of Data through a fresh plain transport (no proxy lookup, no
// socket exceptions, no events). FileName goes into the part header exactly as given.
bool PostFileToUrl(const std::string& URL, const std::string& FieldName, const std::string& FileName,
                   http::TStream& Data, platform::TStringList& ResultData);

namespace http {

// The multipart pieces, shared by the uploads. The boundary is 8 upper-case hexadecimal
// digits of a random number below Limit followed by "_zelHTTP_boundary".
std::string MakeMultipartBoundary(uint32_t Limit);
std::string MultipartFieldPart(const std::string& Boundary, const std::string& Name, const std::string& Value);
std::string MultipartFileHeader(const std::string& Boundary, const std::string& FieldName, const std::string& FileName);
std::string MultipartClosing(const std::string& Boundary);
// The name part of a Windows or POSIX path: the text after the last "\", "/" or ":".
std::string FileNamePart(const std::string& Path);

}  // namespace http
