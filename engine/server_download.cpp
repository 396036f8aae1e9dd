// The server INI download with its proof and its one fall-back, and the download of one
// file through the transfer file.
#include "engine/zel_cust_update_dialog.h"
#include "http/zel_http_file_downloader.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "ui/application.h"

namespace {
const char kMarker[] = "FOUNDIT";
const char kTransferFile[] = "Temp";

// Deletes the temporary server INI however the download ends.
struct TempFileGuard {
    std::string path;
    ~TempFileGuard() { DeleteFileIfExists(path); }
};
}  // namespace

bool TzelCustUpdaterDialogForm::DownloadAndLoadServerIni() {
    const std::string temp = "temp" + std::to_string(std::uniform_int_distribution<int>(0, 99998)(FRandom)) + ".ini";
    const std::string url = GetServerPath() + GetProgName() + ".ini";
    WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadAndLoadServerIni(): Prepare to Download = " + url +
                                  ", Download Dest = " + temp);
    bool ok = DownloadFile(url, temp, kConfigurationAlias);
    TempFileGuard guard{ProgramFolder() + temp};
    FUsingDefaultLocation = false;
    if (!ok) return ok;
    FServerIniList->LoadFromFile(ProgramFolder() + temp);
    if (FServerIniList->Text().find(kMarker) != std::string::npos) return ok;

    ReportStatus("Connected to server - configuration file was not found or is incorrect. - Will attempt to connect "
                 "to the default server location.",
                 true, false, true);
    BeforeUsingDefaultLocation();
    DeleteFileIfExists(ProgramFolder() + temp);
    const std::string fallback = GetDefaultServerPath() + GetProgName() + ".ini";
    WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadAndLoadServerIni(): Prepare to Download = " +
                                  fallback + ", Download Dest = " + temp);
    ok = DownloadFile(fallback, temp, kConfigurationAlias);
    FUsingDefaultLocation = true;
    if (ok) {
        FServerIniList->LoadFromFile(ProgramFolder() + temp);
        if (FServerIniList->Text().find(kMarker) == std::string::npos)
            throw EUpdaterError(
                "Connected to server at default location - configuration file was not found or is incorrect. Update "
                "server may be being updated. Please try again later. If this problem persists, please call support.");
    }
    return ok;
}

// What the user reads when a transfer fails: what to check, then the error itself.
std::string TzelCustUpdaterDialogForm::TroubleMessage(const std::string& Detail) {
    return FProgName + " is having trouble communicating with the update web site at " + GetServerPath() + "\r" +
           "Please verify you have an active internet connection and that this application is allowed through your "
           "firewall.  " + "The specific error message is: " + Detail;
}

bool TzelCustUpdaterDialogForm::DownloadFile(const std::string& SourceFile, const std::string& TargetFile,
                                             const std::string& TargetFileAlias) {
    const std::string alias = TargetFileAlias.empty() ? TargetFile : TargetFileAlias;
    ReportStatus(GetStatusMessage(stDownloading, alias, ""), true, false, false);
    const std::string transfer = ProgramFolder() + kTransferFile;
    DeleteFileIfExists(transfer);
    bool ok = false;
    try {
        WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadFile(): Download Source = " + SourceFile +
                                      ", Download Dest = " + TargetFile);
        ok = FHTTPFileDownloader->DownloadFile(SourceFile, transfer, nullptr);
        if (ok) {
            ReportStatus(GetStatusMessage(stDownloaded, alias, ""), true, false, false);
            DeleteFileIfExists(ProgramFolder() + TargetFile);
            RenameFile(transfer, ProgramFolder() + TargetFile);
        } else {
            // The target keeps its old content; what arrived stays in the transfer file.
            WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadFile(): " + SourceFile +
                                          " was not downloaded; " + TargetFile + " was left as it was.");
        }
    } catch (EUpdaterError& e) {
        e.SetMessage(TroubleMessage(e.Message()));
        throw;
    } catch (const std::exception& e) {
        throw EUpdaterError(TroubleMessage(e.what()));
    }
    return ok;
}
