// The server INI download with its proof and its one fall-back, and the download of one
// file through the transfer file.
#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>
#include <utility>

#include "server_ini/file_names.h"
#include "server_ini/server_ini_limits.h"
#include "engine/zel_cust_update_dialog.h"
#include "http/proxy_auth.h"
#include "http/size_limited_stream.h"
#include "http/zel_http_file_downloader.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/scope_exit.h"
#include "platform/scoped_value.h"
#include "platform/shown_text.h"
#include "platform/strconv.h"
#include "trust/server_ini_signature.h"
#include "ui/application.h"
#include "ui/runtime.h"

using namespace engine;
using namespace serverini;
using namespace http;
using namespace platform;
using namespace trust;
using namespace ui;

namespace {
// Refuses a server INI too large to be a configuration file before any of it is read.
void CheckServerIniSize(const std::string& File) {
    const int64_t size = FileSize(File);
    if (size > kMaxServerIniBytes)
        throw EUpdaterError(kConfigProblem + std::string("It is ") + std::to_string(size) +
                            " bytes long; a configuration file may hold at most 16 MiB (" +
                            std::to_string(kMaxServerIniBytes) + " bytes).");
}
// Moves the transfer file onto TargetFile in the program folder, making the sub-folders it
// names. A failure is an error naming the file, and the transfer file goes: nothing that did
// not arrive where it belongs is left to be run or reported as arrived. True when the old file
// was in use and was moved aside.
// A Scratch target (the server INI, read and deleted in this run) replaces no installed file:
// it is only renamed, without the flushes that make an installed file's replace durable.
bool PutInPlace(const std::string& Transfer, const std::string& TargetFile, bool Scratch) {
    const std::string target = ProgramFolder() + TargetFile;
    try {
        if (SameText(NormalizedFileName(TargetFile), kTransferFile))
            throw EUpdaterError("It is the updater's transfer file.");
        ForceDirectories(ExtractFilePath(target));
        if (Scratch) {
            MoveFileOver(Transfer, target);
            return false;
        }
        return ReplaceFileMovingAside(Transfer, target, target + kMovedAsideSuffix);
    } catch (EUpdaterError& e) {
        DeleteFileIfExists(Transfer);
        e.SetMessage(TargetFile + " was downloaded but could not be saved in the program folder. " + e.Message());
        throw;
    }
}
}  // namespace

bool TzelCustUpdaterDialogForm::DownloadAndLoadServerIni() {
    const std::string temp = "temp" + std::to_string(std::uniform_int_distribution<int>(0, 99998)(FRandom)) + ".ini";
    const std::string url = GetServerPath() + GetProgName() + ".ini";
    WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadAndLoadServerIni(): Prepare to Download = " +
                                  ShownText(url) + ", Download Dest = " + temp);
    // A caching proxy must not answer with yesterday's list.
    ScopedValue<bool> noCache(FHTTPFileDownloader->NoCache, true);
    bool ok = DownloadFile(url, temp, kConfigurationAlias);
    // The temporary server INI goes however the download ends.
    const ScopeExit deleteTemp([path = ProgramFolder() + temp] { DeleteFileIfExists(path); });
    FUsingDefaultLocation = false;
    if (!ok) return ok;
    CheckServerIniSize(ProgramFolder() + temp);
    if (LoadServerIni(url, ProgramFolder() + temp)) return ok;

    ReportStatus(
        "Connected to server - configuration file was not found or is incorrect. - Will attempt to connect "
        "to the default server location.",
        true, false, true);
    BeforeUsingDefaultLocation();
    DeleteFileIfExists(ProgramFolder() + temp);
    const std::string fallback = GetDefaultServerPath() + GetProgName() + ".ini";
    WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadAndLoadServerIni(): Prepare to Download = " +
                                  ShownText(fallback) + ", Download Dest = " + temp);
    ok = DownloadFile(fallback, temp, kConfigurationAlias);
    FUsingDefaultLocation = true;
    if (ok) {
        CheckServerIniSize(ProgramFolder() + temp);
        if (!LoadServerIni(fallback, ProgramFolder() + temp))
            throw EUpdaterError(
                "Connected to server at default location - configuration file was not found or is incorrect. Update "
                "server may be being updated. Please try again later. If this problem persists, please call support.");
    }
    return ok;
}

// The pauses before the second, third and fourth attempt of a download that failed in a way
// that may pass.
constexpr int kRetryPausesMs[] = {1000, 4000, 10000};

bool TzelCustUpdaterDialogForm::PauseBeforeRetry(int Ms) {
    if (RetryPause) return RetryPause(Ms);
    // Messages keep flowing, so Stop and Close end the pause at once.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
    for (;;) {
        Runtime().ProcessMessages();
        if (FStopping) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(20)));
    }
}

// What the user reads when a transfer fails: what to check, then the error itself.
std::string TzelCustUpdaterDialogForm::TroubleMessage(const std::string& Detail) {
    return FProgName + " is having trouble communicating with the update web site at " + ShownText(GetServerPath()) +
           "\r" +
           "Please verify you have an active internet connection and that this application is allowed through your "
           "firewall.  " +
           "The specific error message is: " + Detail;
}

bool TzelCustUpdaterDialogForm::DownloadFile(const std::string& SourceFile, const std::string& TargetFile,
                                             const std::string& TargetFileAlias) {
    return DownloadFile(SourceFile, TargetFile, TargetFileAlias, TFileExpectation());
}

bool TzelCustUpdaterDialogForm::DownloadFile(const std::string& SourceFile, const std::string& TargetFile,
                                             const std::string& TargetFileAlias, const TFileExpectation& expected) {
    const std::string alias = TargetFileAlias.empty() ? TargetFile : TargetFileAlias;
    FHTTPFileDownloader->MaxFileSize = expected.Size;
    const ScopeExit limitReset([this] { FHTTPFileDownloader->MaxFileSize = -1; });
    ReportStatus(GetStatusMessage(stDownloading, alias, "", nullptr), true, false, false);
    const bool resumable = !expected.Sha256.empty();
    const std::string transfer = ProgramFolder() + (resumable ? kKeptTransferFile : kTransferFile);
    if (!resumable) DeleteFileIfExists(transfer);
    TzelHTTPFileDownloader& downloader = *FHTTPFileDownloader;
    bool ok = false;
    try {
        WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadFile(): Download Source = " +
                                      ShownText(SourceFile) + ", Download Dest = " + TargetFile);
        for (size_t attempt = 0;; ++attempt) {
            try {
                ok = resumable
                         ? downloader.DownloadFileResuming(SourceFile, transfer, ProgramFolder() + kResumeRecordFile,
                                                           TResumeKey{expected.Sha256, expected.Size})
                         : downloader.DownloadFile(SourceFile, transfer, nullptr);
                break;
            } catch (const EBodyTooLarge&) {
                RefuseDownload("The download of " + alias + " was stopped: it grew past the " +
                               std::to_string(expected.Size) +
                               " bytes the server INI gives. The installed file was left "
                               "as it was.");
            } catch (const ETrustError&) {
                throw;
            } catch (const std::exception& e) {
                if (!downloader.LastFailureTransient || attempt >= std::size(kRetryPausesMs)) throw;
                const int pause = kRetryPausesMs[attempt];
                WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadFile(): attempt " +
                                              std::to_string(attempt + 1) + " of " + ShownText(SourceFile) + " failed: " +
                                              ShownText(e.what()) + " - trying again in " + std::to_string(pause / 1000) + " s");
                if (!PauseBeforeRetry(pause)) throw;
            }
        }
        if (downloader.LastResumedFrom > 0)
            WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadFile(): " + ShownText(SourceFile) + " continued after " +
                                          std::to_string(downloader.LastResumedFrom) +
                                          " bytes kept from an earlier attempt");
        if (!ok) {
            // The target keeps its old content; what arrived stays in the transfer file.
            WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadFile(): " + ShownText(SourceFile) +
                                          " was not downloaded; " + TargetFile + " was left as it was.");
        }
    } catch (const ETrustError&) {
        throw;  // the site answered, and what it sent is refused: no connection trouble
    } catch (const http::EProxyAuthError&) {
        throw;  // the proxy answered: it wants to know who we are, and its error says so
    } catch (EUpdaterError& e) {
        e.SetMessage(TroubleMessage(e.Message()));
        throw;
    } catch (const std::exception& e) {
        throw EUpdaterError(TroubleMessage(e.what()));
    }
    if (ok) {
        // Outside the handler above: the connection was fine; what arrived or the program folder is not.
        CheckTransferFile(transfer, alias, expected);
        if (PutInPlace(transfer, TargetFile, TargetFileAlias == kConfigurationAlias))
            ReportStatus(TargetFile + " was in use: it was moved aside to " + TargetFile + kMovedAsideSuffix +
                             ", and the new copy takes effect at its next start.",
                         true, false, false);
        ReportStatus(GetStatusMessage(stDownloaded, alias, "", nullptr), true, false, false);
    }
    return ok;
}
