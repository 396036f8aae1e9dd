#include "http/zel_http_send.h"

#include <optional>
#include <random>

#include "http/proxy_bypass.h"
#include "http/socket_errors.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/scoped_value.h"
#include "platform/strconv.h"

using namespace http;
using namespace platform;

namespace {
constexpr const char* kWin9xRefusal =
    "This feature is not allowed in Windows 95, 98 or ME.  You must use a web browser to "
    "connect to the internet.";
constexpr const char* kFormMimeType = "application/x-www-form-urlencoded";

std::string BlanksToCommas(std::string s) {
    for (char& c : s)
        if (c == ' ') c = ',';
    return s;
}

// Windows writes its per-protocol list with semicolons ("http=p:8080;https=p:8443").
std::string SeparatorsToCommas(std::string s) {
    for (char& c : s)
        if (c == ' ' || c == ';') c = ',';
    return s;
}

// "[scheme://][user:password@]host:port" -> its parts; a bracketed IPv6 host keeps the colons
// inside its brackets.
void SplitHostPort(std::string Proxy, TProxySetting& Out) {
    if (const size_t p = Proxy.find("://"); p != std::string::npos) Proxy.erase(0, p + 3);
    if (const size_t at = Proxy.rfind('@'); at != std::string::npos) {
        const std::string info = Proxy.substr(0, at);
        Out.User = DecodeUrlText(SeparateLeft(info, ":"));
        Out.Password = info.find(':') == std::string::npos ? std::string() : DecodeUrlText(SeparateRight(info, ":"));
        Proxy.erase(0, at + 1);
    }
    if (const size_t slash = Proxy.find('/'); slash != std::string::npos) Proxy.erase(slash);
    if (!Proxy.empty() && Proxy.front() == '[') {
        const size_t close = Proxy.find(']');
        if (close != std::string::npos) {
            Out.Host = Trim(Proxy.substr(1, close - 1));
            const std::string rest = Proxy.substr(close + 1);
            Out.Port = rest.empty() || rest.front() != ':' ? std::string() : Trim(rest.substr(1));
            return;
        }
    }
    const size_t colon = Proxy.find(':');
    Out.Host = Trim(Proxy.substr(0, colon));
    Out.Port = colon == std::string::npos ? std::string() : Trim(Proxy.substr(colon + 1));
}

void LoadReply(TStream& Body, TStringList& Lines) { Lines.LoadFromBytes(Body.ReadAllBytes()); }

void WriteMultipart(TMemoryStream& Document, const std::string& Boundary, const std::string& FieldName,
                    const std::string& FileName, const TFormFields* Fields, TStream& FileData) {
    // Text parts and data go into Document in wire order; the data from its start.
    if (Fields)
        for (const auto& [name, value] : *Fields) Document.Write(MultipartFieldPart(Boundary, name, value));
    Document.Write(MultipartFileHeader(Boundary, FieldName, FileName));
    FileData.SetPosition(0);
    Document.CopyFrom(FileData, -1);
    Document.Write(MultipartClosing(Boundary));
}
}  // namespace

namespace http {

TProxySetting ProxySettingFromText(const TSystemProxyText& Text, const std::string& Protocol) {
    const std::string prefix = LowerCase(Protocol.empty() ? "http" : Protocol) + "=";
    std::string proxy, fallback;
    bool found = false;
    const std::string entries = SeparatorsToCommas(Text.ProxyServer);
    size_t start = 0;
    while (start <= entries.size() && !found) {
        size_t end = entries.find(',', start);
        if (end == std::string::npos) end = entries.size();
        const std::string entry = entries.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) continue;
        if (LowerCase(entry).rfind(prefix, 0) == 0) {
            proxy = entry.substr(entry.find('=') + 1);
            found = true;
        } else if (entry.find('=') == std::string::npos) {
            fallback = entry;
        }
    }
    if (!found) proxy = fallback;

    TProxySetting setting;
    if (!proxy.empty()) SplitHostPort(proxy, setting);
    setting.Bypass = BlanksToCommas(Text.ProxyBypass);
    setting.Ignored = Text.Ignored;
    return setting;
}

TProxySetting ReadProxySettings(const std::string& Protocol) {
    TSystemProxyText text;
    if (!OSServices().ReadProxySettings(text)) return {};
    return ProxySettingFromText(text, Protocol);
}

std::string MakeMultipartBoundary(uint32_t Limit) {
    static thread_local std::mt19937 rng{std::random_device{}()};
    const uint32_t n = std::uniform_int_distribution<uint32_t>(0, Limit - 1)(rng);
    return Format("%08X", n) + "_zelHTTP_boundary";
}

std::string MultipartFieldPart(const std::string& Boundary, const std::string& Name, const std::string& Value) {
    return Utf8ToAnsi("--" + Boundary + "\r\ncontent-disposition: form-data; name=\"" + Name + "\"\r\n\r\n" + Value +
                      "\r\n");
}

std::string MultipartFileHeader(const std::string& Boundary, const std::string& FieldName,
                                const std::string& FileName) {
    return Utf8ToAnsi("--" + Boundary + "\r\ncontent-disposition: form-data; name=\"" + FieldName + "\";" +
                      " filename=\"" + FileName + "\"\r\nContent-Type: Application/octet-string\r\n\r\n");
}

std::string MultipartClosing(const std::string& Boundary) { return Utf8ToAnsi("\r\n--" + Boundary + "--\r\n"); }

std::string FileNamePart(const std::string& Path) {
    const size_t p = Path.find_last_of("\\/:");
    return p == std::string::npos ? Path : Path.substr(p + 1);
}

}  // namespace http

TzelHttpSend::TzelHttpSend() {
    Sock->OnStatus = [this](TTCPClientSocket& s, TSocketStatusReason r, const std::string& v) {
        HandleSocketStatus(s, r, v);
    };
    Sock->RaiseExcept = true;
}

// The socket outlives this part of the object: its closing report must not reach handlers
// (or captures) that may already be gone.
TzelHttpSend::~TzelHttpSend() { Sock->OnStatus = nullptr; }

bool TzelHttpSend::HTTPMethod(const std::string& Method, const std::string& URL) {
    if (OSServices().IsWindows9x()) throw EUpdaterError(kWin9xRefusal);
    const TUrlParts url = SplitUrl(Trim(URL));
    SetupProxy(url.Protocol);
    const bool https = SameText(url.Protocol, "HTTPS");
    // The automatic configuration decides for each URL, bypass included. Its list of proxies
    // to try is in order of preference: the first is taken.
    std::string automaticText;
    const bool automatic = OSServices().ProxyForUrl(Trim(URL), automaticText);
    TProxySetting automaticProxy;
    if (automatic) {
        const std::string first = SeparateLeft(SeparatorsToCommas(Trim(automaticText)), ",");
        automaticProxy = ProxySettingFromText({first, "", ""}, url.Protocol);
    }
    ScopedValue<std::string> automaticHost(ProxyHost, automatic ? automaticProxy.Host : ProxyHost);
    ScopedValue<std::string> automaticPort(
        ProxyPort, automatic && !automaticProxy.Port.empty() ? automaticProxy.Port : ProxyPort);
    // The proxy stays set for the next request; this one goes around it when it is listed.
    const bool bypassed = !automatic && !ProxyHost.empty() && ProxyBypassed(FProxyBypass, url.Host, url.Port);
    ScopedValue<std::string> route(ProxyHost, bypassed ? std::string() : ProxyHost);
    if (ProxyHost.empty()) {
        Note("Connecting directly to " + url.Host + ":" + url.Port +
             (bypassed ? " (listed to bypass the proxy)" : automatic ? " (automatic configuration)" : ""));
        return THTTPTransport::HTTPMethod(Method, URL);
    }
    const std::string proxy = (ProxyHost.find(':') != std::string::npos ? "[" + ProxyHost + "]" : ProxyHost) + ":" +
                              ProxyPort;
    Note("Connecting to " + url.Host + ":" + url.Port + " through the proxy " + proxy +
         (https ? " (CONNECT tunnel)" : "") + (automatic ? " (automatic configuration)" : ""));
    TProxyHandshake handshake(proxy, {ProxyUser, ProxyPass}, !ProxyUser.empty());
    bool ok;
    try {
        if (https) {
            ScopedValue<decltype(Sock->HTTPTunnelAuth)> answer(
                Sock->HTTPTunnelAuth,
                [this, &handshake](const std::vector<std::string>& Answer, std::string& Authorization) {
                    Authorization = handshake.Answer(Answer);
                    Sock->HTTPTunnelReconnect = handshake.StartedOver();
                    return true;
                });
            ok = THTTPTransport::HTTPMethod(Method, URL);
        } else {
            ok = ExchangeViaProxy(Method, URL, handshake);
        }
    } catch (const EProxyAuthError&) {
        DropConnection();
        throw;
    }
    if (handshake.Started()) {
        if (ok) handshake.Accepted();
        Note("The proxy " + proxy + " accepted " + handshake.Describe());
    }
    return ok;
}

bool TzelHttpSend::ExchangeViaProxy(const std::string& Method, const std::string& URL, TProxyHandshake& Handshake) {
    // A challenge is answered by sending the request again: its body, its own header lines
    // and its content type are kept for that.
    const std::string body = InputStream ? std::string() : Document.ReadAllBytes();
    const std::vector<std::string> extraLines = Headers.Lines();
    const std::string mimeType = MimeType;
    std::optional<ScopedValue<std::string>> noUser, noPass;
    ScopedValue<bool> hold(FHoldProxyLeg, false);
    for (;;) {
        const bool ok = THTTPTransport::HTTPMethod(Method, URL);
        if (!ok || ResultCode != 407) return ok;
        const std::string authorization = Handshake.Answer(Headers.Lines());
        if (Handshake.StartedOver()) DropConnection();
        // From here the handshake's own answer speaks for us, not the settings' Basic line.
        if (!noUser) noUser.emplace(ProxyUser, std::string()), noPass.emplace(ProxyPass, std::string());
        FHoldProxyLeg = Handshake.ConnectionOriented();
        Clear();
        Document.Write(body);
        Document.SetPosition(0);
        for (const std::string& line : extraLines)
            if (!StartsText("Proxy-Authorization:", line)) Headers.Add(line);
        Headers.Add("Proxy-Authorization: " + authorization);
        MimeType = mimeType;
    }
}

void TzelHttpSend::Note(const std::string& Text) {
    if (OnProxyNote) OnProxyNote(*this, Text);
}

void TzelHttpSend::SetupProxy(const std::string& AProtocol) {
    if (FCheckedForProxy && AProtocol == FCurrentProt) return;
    FCurrentProt = AProtocol;
    const TProxySetting setting = ReadProxySettings(AProtocol);
    if (!setting.Port.empty()) ProxyPort = setting.Port;
    if (!setting.Host.empty()) ProxyHost = setting.Host;
    if (!setting.User.empty()) {
        ProxyUser = setting.User;
        ProxyPass = setting.Password;
    }
    FProxyBypass = setting.Bypass;
    FCheckedForProxy = true;
    if (!setting.Ignored.empty() && !FProxyNoted) {
        FProxyNoted = true;
        Note("Proxy settings not used (only HTTP proxies are supported): " + setting.Ignored);
    }
}

void TzelHttpSend::HandleSocketStatus(TTCPClientSocket&, TSocketStatusReason Reason, const std::string& Value) {
    switch (Reason) {
    case SR_SocketClose:
        // Cleared before the handler runs: a handler that closes again reports nothing twice.
        if (FSocketOpened) {
            FSocketOpened = false;
            if (OnCloseSocket) OnCloseSocket(*this, Value);
        }
        break;
    case SR_Connect:
        if (OnConnect) OnConnect(*this, Value);
        FSocketOpened = true;
        break;
    case SR_Error:
        if (OnSocketError) OnSocketError(*this, Value);
        break;
    default: break;
    }
}

bool TzelHttpSend::GetText(const std::string& URL, TStringList& Datastrings) {
    const bool ok = HTTPMethod("GET", URL);
    if (ok) LoadReply(Document, Datastrings);
    return ok;
}

bool TzelHttpSend::GetBinary(const std::string& URL, TStream& Response) {
    const bool ok = HTTPMethod("GET", URL);
    if (ok) {
        Response.SetPosition(0);
        Document.SetPosition(0);
        Response.CopyFrom(Document, -1);
    }
    return ok;
}

bool TzelHttpSend::GetFile(const std::string& URL, const std::string& FileLocation) {
    TFileStream file(FileLocation, TFileMode::CreateWrite);
    return GetBinary(URL, file);
}

bool TzelHttpSend::PostURL(const std::string& URL, const std::string& URLData, TStream& Data) {
    Document.Write(Utf8ToAnsi(URLData));
    MimeType = kFormMimeType;
    bool ok;
    try {
        ok = HTTPMethod("POST", URL);
    } catch (const ESocketError& e) {
        // Only a reset after the whole request went out ends a reply. One before it (while
        // connecting, in a proxy's tunnel answer, while sending) means the form never arrived,
        // and Document still holds the form itself, not a reply.
        if (!IgnoreConnectionReset || e.ErrorCode != wsConnectionReset || !FRequestSent) throw;
        ok = true;
    }
    if (ok) {
        Document.SetPosition(0);
        Data.CopyFrom(Document, -1);
    }
    return ok;
}

bool TzelHttpSend::PostURL(const std::string& URL, const std::string& URLData, TStringList& DataStrings) {
    TMemoryStream reply;
    const bool ok = PostURL(URL, URLData, reply);
    if (ok) LoadReply(reply, DataStrings);
    return ok;
}

bool TzelHttpSend::PostMultipart(const std::string& URL, const std::string& FieldName, const std::string& FileName,
                                 const TFormFields* Fields, TStream& FileData, TStringList& ResultData) {
    const std::string boundary = MakeMultipartBoundary(268435447u);
    WriteMultipart(Document, boundary, FieldName, FileNamePart(FileName), Fields, FileData);
    MimeType = "multipart/form-data; boundary=" + boundary;
    const bool ok = HTTPMethod("POST", URL);
    if (ok) LoadReply(Document, ResultData);
    return ok;
}

bool TzelHttpSend::PostFile(const std::string& URL, const std::string& FieldName, const std::string& FileName,
                            TStream& Data, TStringList& ResultData) {
    return PostMultipart(URL, FieldName, FileName, nullptr, Data, ResultData);
}

bool TzelHttpSend::PostFile(const std::string& URL, const std::string& FieldName, const std::string& FileName,
                            const TFormFields& Data, TStream& FileData, TStringList& ResultData) {
    return PostMultipart(URL, FieldName, FileName, &Data, FileData, ResultData);
}

bool TzelHttpSend::PostFile(const std::string& URL, const std::string& FieldName, const std::string& FileName,
                            TStringList& ResultData, std::string& ErrMsg) {
    TFileStream file(FileName, TFileMode::OpenRead);
    try {
        return PostFileToUrl(URL, FieldName, FileName, file, ResultData);
    } catch (const ESocketError& e) {
        ErrMsg = e.Message();
        return false;
    }
}

bool PostFileToUrl(const std::string& URL, const std::string& FieldName, const std::string& FileName, TStream& Data,
                   TStringList& ResultData) {
    THTTPTransport http;
    const std::string boundary = MakeMultipartBoundary(2147483647u);
    WriteMultipart(http.Document, boundary, FieldName, FileName, nullptr, Data);
    http.MimeType = "multipart/form-data; boundary=" + boundary;
    const bool ok = http.HTTPMethod("POST", URL);
    if (ok) LoadReply(http.Document, ResultData);
    return ok;
}

void TzelHttpSend::ConvertToAnsiandStuffInStream(TStream& TargetStream, const std::string& aString) {
    std::string out;
    if (TargetStream.GetPosition() == 0) out = "\xEF\xBB\xBF";
    out += AnsiToUtf8(Utf8ToAnsi(aString));
    TargetStream.Write(out);
}
