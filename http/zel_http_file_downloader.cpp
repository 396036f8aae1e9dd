#include "http/zel_http_file_downloader.h"

#include "http/download_framing.h"
#include "http/internet_download.h"
#include "http/resume_record.h"
#include "http/size_limited_stream.h"
#include "http/socket_errors.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/scoped_value.h"
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

// Thrown from a reply's head when the kept part cannot be continued: the download starts over.
struct TRestartFromZero {};

// A validator longer than this is not one a server means to be sent back.
constexpr size_t kMaxValidator = 512;

// The sink of one reply: the head is checked before the body, and the body of a reply that
// will be refused goes nowhere, so a kept part survives an error page.
class TDownloadSink final : public TFileSink {
public:
    using TCheck = std::function<void(TDownloadSink&, const TReply&)>;
    TDownloadSink(TStream& File, int64_t Offset, int64_t Limit, TCheck Check)
        : TFileSink(File, Offset, Limit), check_(std::move(Check)) {}
    using TStream::Write;
    size_t Write(const void* Buffer, size_t Count) override {
        return Discard ? Count : TFileSink::Write(Buffer, Count);
    }
    bool TakesFromPipe() const override { return !Discard && TFileSink::TakesFromPipe(); }
    size_t WriteFromPipe(TBodyPipe& Pipe, size_t Count) override {
        return Discard ? TStream::WriteFromPipe(Pipe, Count) : TFileSink::WriteFromPipe(Pipe, Count);
    }
    void Begin(const TReply& Head) override { check_(*this, Head); }
    bool Discard = false;

private:
    TCheck check_;
};

// If-Range needs a strong validator: the ETag unless it is weak, else Last-Modified.
std::string ValidatorOf(const TReply& Head) {
    const std::vector<std::string> tags = Head.Values("ETag");
    if (tags.size() == 1 && !tags[0].empty() && tags[0].size() <= kMaxValidator && tags[0].rfind("W/", 0) != 0)
        return tags[0];
    const std::vector<std::string> dates = Head.Values("Last-Modified");
    if (dates.size() == 1 && !dates[0].empty() && dates[0].size() <= kMaxValidator) return dates[0];
    return "";
}

// A 206 continues the kept Offset bytes only when it starts exactly there, runs to the end and
// has the whole's total.
bool ContinuesAt(const TReply& Head, int64_t Offset, int64_t Total) {
    const std::vector<std::string> ranges = Head.Values("Content-Range");
    TContentRange r;
    if (ranges.size() != 1 || !ParseContentRange(ranges[0], r)) return false;
    if (r.First != Offset || r.Last != r.Total - 1 || (Total >= 0 && r.Total != Total)) return false;
    const std::vector<std::string> lengths = Head.Values("Content-Length");
    return lengths.empty() || lengths[0] == std::to_string(r.Last - r.First + 1);
}

bool IsTransientSocketError(int Code) {
    return Code == wsConnectionRefused || Code == wsConnectionReset || Code == wsTimedOut;
}
bool IsTransientStatus(int Code) { return Code == 500 || Code == 502 || Code == 503 || Code == 504; }
}  // namespace

struct TzelHTTPFileDownloader::TResumeState {
    std::string RecordFile;
    TResumeKey Key;
    int64_t Offset = 0;  // bytes kept from an earlier attempt, to be continued
    std::string Validator;
};

TzelHTTPFileDownloader::TzelHTTPFileDownloader() {
    // Installers are large and may come over long lines: a fixed 64 KiB receive window caps a
    // download at 64 KiB per round trip (about 5 Mbit/s at 100 ms). The system's own sizing grows
    // the window as the line allows. Reads still take at most 64 KiB at a time.
    Sock->SizeRecvBuffer = 0;
    Sock->OnMonitor = [this](TTCPClientSocket& s, bool w, const void* b, int n) { HandleSocketMonitor(s, w, b, n); };
}

TzelHTTPFileDownloader::~TzelHTTPFileDownloader() { Sock->OnMonitor = nullptr; }

bool TzelHTTPFileDownloader::DownloadFile(const std::string& URL, const std::string& FileName, TStringList*) {
    return Fetch(URL, FileName, nullptr);
}

bool TzelHTTPFileDownloader::DownloadFileResuming(const std::string& URL, const std::string& FileName,
                                                  const std::string& RecordFile, const TResumeKey& Key) {
    TResumeState resume;
    resume.RecordFile = RecordFile;
    resume.Key = Key;
    TResumeRecord record;
    const int64_t kept = FileSize(FileName);
    if (LoadResumeRecord(RecordFile, record) && record.Url == URL && record.Sha256 == Key.Sha256 &&
        record.Size == Key.Size && kept > 0 && (Key.Size < 0 || kept < Key.Size)) {
        resume.Offset = kept;
        resume.Validator = record.Validator;
    } else {
        DeleteFileIfExists(RecordFile);
    }
    return Fetch(URL, FileName, &resume);
}

bool TzelHTTPFileDownloader::Fetch(const std::string& URL, const std::string& FileName, TResumeState* Resume) {
    Clear();
    LastFailureTransient = false;
    LastResumedFrom = 0;
    const bool continuing = Resume && Resume->Offset > 0;
    FFileStream = std::make_unique<TFileStream>(FileName, continuing ? TFileMode::OpenWrite : TFileMode::CreateWrite);
    bool deleteFile = false;
    // Closes and forgets the file, removes it (and what it was kept for) when marked, and
    // drops the connection.
    auto finish = [&] {
        FFileStream.reset();
        FBodyStart = 0;
        if (deleteFile) {
            DeleteFileIfExists(FileName);
            if (Resume) DeleteFileIfExists(Resume->RecordFile);
        }
        Sock->CloseSocket();
    };
    // What a reply's head must be before its body is stored, and where the body goes.
    auto check = [&](TDownloadSink& Sink, const TReply& Head, bool& Continued) {
        const std::string fault = FramingFault(Head);
        if (!fault.empty()) throw EUpdaterError("The server's reply for \"" + ShownText(URL) + "\" was refused: " + ShownText(fault) + ".");
        const int64_t offset = Resume ? Resume->Offset : 0;
        if (offset > 0 && Head.Code == 206) {
            if (!ContinuesAt(Head, offset, Resume->Key.Size)) throw TRestartFromZero();
            Continued = true;
            return;
        }
        if (offset > 0 && Head.Code == 416) throw TRestartFromZero();
        if (Head.Code != 200) {
            // Refused after the body; the kept part stays as it is for a later try.
            Sink.Discard = Resume != nullptr;
            return;
        }
        Sink.StartAt(0);
        FBodyStart = 0;
        if (!Resume) return;
        // The whole file comes now: say what it is, so a cut can be continued.
        TResumeRecord record{URL, Resume->Key.Sha256, Resume->Key.Size, ValidatorOf(Head)};
        try {
            if (record.Validator.empty())
                DeleteFileIfExists(Resume->RecordFile);
            else
                SaveResumeRecord(Resume->RecordFile, record);
        } catch (const EUpdaterError&) {
            DeleteFileIfExists(Resume->RecordFile);  // costs the resume, never the download
        }
    };
    bool result = false;
    try {
        for (;;) {
            const int64_t offset = Resume ? Resume->Offset : 0;
            TRequest request;
            request.Url = URL;
            if (NoCache) request.ExtraLines = {"Pragma: no-cache", "Cache-Control: no-cache"};
            if (offset > 0) {
                request.ExtraLines.push_back("Range: bytes=" + std::to_string(offset) + "-");
                request.ExtraLines.push_back("If-Range: " + Resume->Validator);
            }
            bool continued = false;
            TDownloadSink sink(*FFileStream, offset, MaxFileSize,
                               [&](TDownloadSink& s, const TReply& head) { check(s, head, continued); });
            FBodyStart = offset;
            TReply reply;
            try {
                result = Exchange(request, sink, reply);
            } catch (const TRestartFromZero&) {
                Resume->Offset = 0;
                DeleteFileIfExists(Resume->RecordFile);
                continue;
            }
            LastResumedFrom = continued ? offset : 0;
            // Success is the status code itself; a "200 OK" anywhere in the header text (another
            // header's value, a reason phrase) proves nothing.
            if (result && ResultCode != 200 && !(continued && ResultCode == 206)) {
                LastFailureTransient = IsTransientStatus(ResultCode);
                throw EUpdaterError("Unable to get file at location: \"" + ShownText(URL) + "\"\r" + ShownHeaderText(Headers));
            }
            break;
        }
    } catch (ESocketError& e) {
        LastFailureTransient = IsTransientSocketError(e.ErrorCode);
        // A cut transfer of a pinned file stays for the next try, when its record says what it is.
        deleteFile = !Resume || !FileExists(Resume->RecordFile);
        // A time-out, the connect's or a receive's, means no way out to the internet.
        if (e.ErrorCode == wsTimedOut) e.SetMessage(kNoConnection);
        finish();
        throw;
    } catch (...) {
        deleteFile = !(Resume && LastFailureTransient && FileExists(Resume->RecordFile));
        finish();
        throw;
    }
    if (result && Resume) DeleteFileIfExists(Resume->RecordFile);
    finish();
    return result;
}

void TzelHTTPFileDownloader::HandleSocketMonitor(TTCPClientSocket&, bool, const void*, int) {
    // A handler that stops the download closes the socket from in here; the close may read
    // what is still waiting, which comes back through this hook: no second event then.
    if (!FFileStream || !OnDownloadProgress || DownloadSize <= 0 || FInProgressEvent) return;
    const ScopedValue<bool> inEvent(FInProgressEvent, true);
    OnDownloadProgress(*this, static_cast<int32_t>(DownloadSize),
                       static_cast<int32_t>(FFileStream->GetSize() - FBodyStart));
}

bool TzelHTTPFileDownloader::DownloadFileWithIE(const std::string& aSourceURL, const std::string& aTargetFile) {
    CancelDownload = false;
    return DownloadThroughInternetFunctions(aSourceURL, aTargetFile, CancelDownload,
                                            [this](int32_t Declared, int32_t Received) {
                                                if (OnDownloadProgress) OnDownloadProgress(*this, Declared, Received);
                                            });
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
