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

class TzelHTTPFileDownloader;
// BytestoSend: the declared length of the body part being read (the whole body, or the
// current chunk). BytesSent: body bytes stored so far. Both cut to 32 bits.
using TUploadProgressEvent =
    std::function<void(TzelHTTPFileDownloader& Sender, int32_t BytestoSend, int32_t BytesSent)>;

class TzelHTTPFileDownloader : public TzelHttpSend {
public:
    TzelHTTPFileDownloader();
    ~TzelHTTPFileDownloader() override;

    // True only for a reply whose header text holds "200 OK", with the body in FileName.
    // False when the transport gave up without an exception (the file keeps what arrived).
    // Every exception leaves no file behind; a time-out reads as a missing connection.
    // ResultData is accepted and not used.
    bool DownloadFile(const std::string& URL, const std::string& FileName, platform::TStringList* ResultData);
    // The system's own download service; there is none here, so always false.
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

protected:
    // The socket's monitor hook: runs for every block, before the block is stored.
    void HandleSocketMonitor(TTCPClientSocket& Sender, bool Writing, const void* Buffer, int Len);

    std::unique_ptr<http::TFileStream> FFileStream;

private:
    bool FInProgressEvent = false;
};
