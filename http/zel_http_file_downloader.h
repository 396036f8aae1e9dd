#pragma once
// The file downloader: one URL into one local file, with progress while the body arrives.
// The body goes straight into the target file as it is received, so an installer of
// hundreds of megabytes never sits in memory.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/stream.h"
#include "http/zel_http_send.h"
#include "platform/string_list.h"

namespace http {
// What the whole of a resumable download must be; a kept part of another is never continued.
struct TResumeKey {
    std::string Sha256;
    int64_t Size = -1;  // -1: not given
};
}  // namespace http

class TzelHTTPFileDownloader;
// BytestoSend: the declared length of the body part being read (the whole body, or the
// current chunk). BytesSent: body bytes stored so far. Both cut to 32 bits.
using TUploadProgressEvent =
    std::function<void(TzelHTTPFileDownloader& Sender, int32_t BytestoSend, int32_t BytesSent)>;

class TzelHTTPFileDownloader : public TzelHttpSend {
public:
    TzelHTTPFileDownloader();
    ~TzelHTTPFileDownloader() override;

    // True only for a reply whose status code is 200, with the body in FileName; a reply with
    // another code raises EUpdaterError, whatever its reason phrase or other headers say.
    // False when the transport gave up without an exception (the file keeps what arrived).
    // Every exception leaves no file behind; a time-out reads as a missing connection.
    // ResultData is accepted and not used.
    bool DownloadFile(const std::string& URL, const std::string& FileName, platform::TStringList* ResultData);
    // DownloadFile for a file whose whole is pinned by Key. A cut transfer (a socket error)
    // leaves FileName and RecordFile behind; the next call for the same URL and Key asks only
    // for the rest (Range with If-Range) and takes a 206 only when its Content-Range starts
    // where the file ends and its total matches; anything else starts over from zero. True
    // once FileName holds a whole body; RecordFile is gone then. The caller checks the whole.
    bool DownloadFileResuming(const std::string& URL, const std::string& FileName, const std::string& RecordFile,
                              const http::TResumeKey& Key);
    // The system's own download service (the Windows Internet functions); where there is
    // none, as on POSIX, always false.
    bool DownloadFileWithIE(const std::string& aSourceURL, const std::string& aTargetFile);
    // Whether the number StatusIni holds for MainFileName's name has reached the one the
    // INI file at SourceURL holds (fetched into TargetIni).
    bool IsFileCurrent(const std::string& SourceURL, const std::string& TargetIni, const std::string& StatusIni,
                       const std::string& MainFileName);

    TUploadProgressEvent OnDownloadProgress;
    // Stops DownloadFileWithIE; DownloadFile is stopped by closing the socket.
    bool CancelDownload = false;
    // 0 or more: a body that grows past this many bytes is stopped there with EBodyTooLarge.
    int64_t MaxFileSize = -1;
    // Asks every cache on the way for a fresh copy (Pragma and Cache-Control: no-cache).
    bool NoCache = false;
    // After a failed download: whether trying again later may succeed (no connection, a reset,
    // a time-out, a 500, 502, 503 or 504), as opposed to a refusal that would only repeat.
    bool LastFailureTransient = false;
    // After a download: the bytes an earlier attempt had kept and this one continued after.
    int64_t LastResumedFrom = 0;

protected:
    // The socket's monitor hook: runs for every block, before the block is stored.
    void HandleSocketMonitor(TTCPClientSocket& Sender, bool Writing, const void* Buffer, int Len);

    std::unique_ptr<http::TFileStream> FFileStream;

private:
    struct TResumeState;
    bool Fetch(const std::string& URL, const std::string& FileName, TResumeState* Resume);
    bool FInProgressEvent = false;
    int64_t FBodyStart = 0;  // where this reply's body starts in FFileStream
};
