// The file list: compare, download, decide, run.
#include "engine/zel_cust_update_dialog.h"
#include "engine/file_names.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/os_services.h"
#include "platform/strconv.h"
#include "ui/application.h"
#include "ui/runtime.h"

void TzelCustUpdaterDialogForm::DownloadAndRunFiles() {
    const std::string count = FServerIniList->Values("FILECOUNT");
    TFileVerRec serverVersion, localVersion;
    ParseVersionStr(serverVersion);
    ParseVersionStr(localVersion);
    if (count.empty()) throw EUpdaterError("Problem with configuration file.  No files in Server Ini File Count.");
    const int n = StrToInt(count);
    for (int i = 0; i < n && FContinueUpdating; ++i) {
        FCurrentFileNumberOfInterest = i;
        const std::string version = FServerIniList->Values(FileKey(i, "VERSION"));
        const std::string name = Trim(FServerIniList->Values(FileKey(i, "NAME")));
        if (name.empty())
            throw EUpdaterError("Problem with configuration file.  No filename in Server Ini File Count.");
        if (!IsSafeFileName(name))
            throw EUpdaterError("Problem with configuration file.  " + FileKey(i, "NAME") + " names \"" + name +
                                "\", which is not a file inside the program folder.");
        FCurrentFileOfInterest = name;
        if (!version.empty()) serverVersion.VersionStr = version;

        const std::string localFile = ProgramFolder() + name;
        localVersion = TFileVerRec();
        if (FileExists(localFile)) {
            std::string ignored;
            ReadFileVersion(localFile, localVersion.Version[1], localVersion.Version[2], localVersion.Version[3],
                            localVersion.Version[4], ignored);
        }
        const int r = CompareFileVersions(serverVersion, localVersion, name);
        const bool download = (r & vcDownload) != 0;
        if (download) {
            WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadAndRunFiles(): Prepare to Download = " +
                                          GetServerPath() + name + ", Download Dest = " + name);
            ExpectDownload(i, name);
            DownloadFile(GetServerPath() + name, name, "");
            SetLocalIniValue(FileKey(i, "RAN"), "FALSE");
        }

        const std::string execute = FServerIniList->Values(FileKey(i, "EXECUTE"));
        if (execute == "NEVER") {
            ReportStatus(name + " does not run in this installation.", false, false, false);
            continue;
        }
        bool run = false;
        if (r & vcRunAnyway) {
            run = true;
        } else if (!(r & vcBlocked)) {
            const std::string ran = FLocalIniList->Values(FileKey(i, "RAN"));
            if (ran == "TRUE" && execute != "ALWAYS") ReportStatus(name + " already ran.", false, false, false);
            run = (ran == "FALSE" || ran.empty() || execute == "ALWAYS") && !(r & vcDoNotRun);
            Runtime().ProcessMessages();
        }
        if (!download && !run)
            ReportStatus(GetStatusMessage(stNoNewerVersion, name, "False"), true, false, false);
        if (!run) continue;

        SetCurrentStep(2);
        const std::string message = FServerIniList->Values(FileKey(i, "MESSAGE"));
        if (!FShowForms) {
            RunDownloadedFile(name, false, download);
            continue;
        }
        if (FServerIniList->Values(FileKey(i, "REQUEST")) == "TRUE") {
            if (Runtime().Confirm(message)) {
                Runtime().ProcessMessages();
                Repaint();
                RunDownloadedFile(name, true, download);
            } else {
                ReportStatus(message, true, false, false);
                FContinueUpdating = false;
            }
        } else {
            RunDownloadedFile(name, true, download);
        }
        Runtime().ProcessMessages();
        Repaint();
    }
}

int TzelCustUpdaterDialogForm::CompareFileVersions(TFileVerRec ServerVersion, TFileVerRec LocalVersion,
                                                   const std::string&) {
    return IsVersionNewer(ServerVersion, LocalVersion) ? vcDownload : vcNotNewer;
}

bool TzelCustUpdaterDialogForm::RunDownloadedFile(const std::string& FileName, bool FromVisual, bool WasDownloaded) {
    return RunFile(FileName, FromVisual, WasDownloaded);
}

bool TzelCustUpdaterDialogForm::RunFile(const std::string& FileName, bool, bool WasDownloaded) {
    ReportStatus(GetStatusMessage(stRunning, FileName, WasDownloaded ? "True" : "False"), true, false, false);
    const int k = FCurrentFileNumberOfInterest;
    const int wait = StrToIntDef(FServerIniList->Values(FileKey(k, "WAIT")), 0);
    const std::string params = GetParamsForFileRun(FileName);
    BeforeRunFile(FileName);
    bool ok;
    if (wait <= 0) {
        ok = OSServices().ShellOpen(ProgramFolder() + FileName, params, ProgramFolder()) > 32;
        if (!ok) throw EOSError(OSServices().LastErrorText(), 0);
    } else {
        const int code = RunAndWait(ProgramFolder() + FileName + params, wait);
        ok = code > 259 && code < 66000;
    }
    if (ok)
        ReportStatus(GetStatusMessage(stFinishedRunning, FileName, ""), true, false, false);
    else
        ReportStatus(GetStatusMessage(stRunFailed, FileName, ""), true, true, true);
    if (ok) SetLocalIniValue(FileKey(k, "RAN"), "TRUE");
    AfterRunFile(FileName);
    return ok;
}

std::string TzelCustUpdaterDialogForm::GetParamsForFileRun(const std::string&) { return ""; }
intptr_t TzelCustUpdaterDialogForm::GetRunWindowHandle() { return 0; }
void TzelCustUpdaterDialogForm::AfterRunFile(const std::string&) {}
void TzelCustUpdaterDialogForm::BeforeRunFile(const std::string&) {}
void TzelCustUpdaterDialogForm::BeforeUsingDefaultLocation() {}
