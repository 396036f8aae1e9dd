#include "http/zel_http_file_downloader.h"

#include "http/size_limited_stream.h"
#include "http/socket_errors.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/shown_text.h"
#include "platform/strconv.h"

using namespace http;
using namespace platform;

namespace {
constexpr const char* kNoConnection =
    "No connection to internet.  A firewall may be preventing connection to the internet from this "
    "application.";
constexpr const char* kNoAvailableConnection =
    "No available connection to the internet.  Please verify no firewalls are blocking this "
    "application and you can view web sites through your browser.";

// The reply's header lines as the failure message quotes them, each followed by CR LF. The
// lines come from the network and the message goes to a terminal, a log and a record: the
// line ends are shown as \x0D\x0A like every other control character, so no header line can
// stand at the start of a line of the log as an entry of its own.
std::string ShownHeaderText(const TStringList& Headers) {
    std::string out;
    for (const std::string& line : Headers.Lines()) out += ShownText(line + "\r\n");
    return out;
}
}  // namespace

TzelHTTPFileDownloader::TzelHTTPFileDownloader() {
    // Installers are large and may come over long lines: a fixed 64 KiB receive window caps a
    // download at 64 KiB per round trip (about 5 Mbit/s at 100 ms). The system's own sizing grows
    // the window as the line allows. Reads still take at most 64 KiB at a time.
    Sock->SizeRecvBuffer = 0;
    Sock->OnMonitor = [this](TTCPClientSocket& s, bool w, const void* b, int n) { HandleSocketMonitor(s, w, b, n); };
}

TzelHTTPFileDownloader::~TzelHTTPFileDownloader() { Sock->OnMonitor = nullptr; }

bool TzelHTTPFileDownloader::DownloadFile(const std::string& URL, const std::string& FileName, TStringList*) {
    Clear();
    FFileStream = std::make_unique<TFileStream>(FileName, TFileMode::CreateWrite);
    bool deleteFile = false;
    // Closes and forgets the file, removes it when marked, and drops the connection.
    auto finish = [&] {
        OutputStream = nullptr;
        FFileStream.reset();
        if (deleteFile) DeleteFileIfExists(FileName);
        Sock->CloseSocket();
    };
    bool result = false;
    try {
        // The body goes to the file as it arrives; what the transport stores is exactly what
        // would have been copied from Document at the end.
        TSizeLimitedStream limited(*FFileStream, MaxFileSize);
        OutputStream = MaxFileSize >= 0 ? static_cast<TStream*>(&limited) : FFileStream.get();
        result = HTTPMethod("GET", URL);
        OutputStream = nullptr;
        // Success is the status code itself; a "200 OK" anywhere in the header text (another
        // header's value, a reason phrase) proves nothing.
        if (result && ResultCode != 200)
            throw EUpdaterError("Unable to get file at location: \"" + ShownText(URL) + "\"\r" +
                                ShownHeaderText(Headers));
    } catch (ESocketError& e) {
        deleteFile = true;
        // A time-out, the connect's or a receive's, means no way out to the internet.
        if (e.ErrorCode == wsTimedOut) e.SetMessage(kNoConnection);
        finish();
        throw;
    } catch (...) {
        deleteFile = true;
        finish();
        throw;
    }
    finish();
    return result;
}

void TzelHTTPFileDownloader::HandleSocketMonitor(TTCPClientSocket&, bool, const void*, int) {
    // A handler that stops the download closes the socket from in here; the close may read
    // what is still waiting, which comes back through this hook: no second event then.
    if (!FFileStream || !OnDownloadProgress || DownloadSize <= 0 || FInProgressEvent) return;
    FInProgressEvent = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{FInProgressEvent};
    OnDownloadProgress(*this, static_cast<int32_t>(DownloadSize), static_cast<int32_t>(FFileStream->GetSize()));
}

bool TzelHTTPFileDownloader::DownloadFileWithIE(const std::string&, const std::string&) {
    CancelDownload = false;
    return false;
}

bool TzelHTTPFileDownloader::IsFileCurrent(const std::string& SourceURL, const std::string& TargetIni,
                                           const std::string& StatusIni, const std::string& MainFileName) {
    if (FileExists(TargetIni)) DeleteFileIfExists(TargetIni);
    if (!DownloadFileWithIE(SourceURL, TargetIni) && !DownloadFile(SourceURL, TargetIni, nullptr))
        throw EUpdaterError(kNoAvailableConnection);

    TStringList server;
    server.LoadFromFile(TargetIni);
    const std::string key = FileNamePart(MainFileName);
    const std::string serverValue = server.Values(key);
    if (serverValue.empty() || !FileExists(StatusIni)) return false;

    TStringList local;
    local.LoadFromFile(StatusIni);
    return StrToInt(local.Values(key)) >= StrToInt(serverValue);
}
