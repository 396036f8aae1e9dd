// The file list: compare, download, decide, run.
#include "engine/file_names.h"
#include "engine/run_decision.h"
#include "engine/zel_cust_update_dialog.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/os_services.h"
#include "platform/shown_text.h"
#include "platform/strconv.h"
#include "ui/application.h"
#include "ui/runtime.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {
const std::string kConfigProblem = "Problem with configuration file.  ";

// The files in the program folder that hold the updater's own state. The executable is not
// among them: a publisher may update the updater itself.
std::vector<std::string> OwnFileNames(TzelCustUpdaterDialogForm& Form) {
    const std::string exe = ExtractFileName(Application().ExeName);
    const size_t ext = exe.rfind('.');
    return {Form.ProgName() + "_Local.ini",
            Form.GetProgName() + "_Local.ini",
            Form.ProgName() + kLastRunSuffix,
            Form.GetProgName() + kLastRunSuffix,
            ExtractFileName(Form.LogFileName()),
            kTransferFile,
            (ext == std::string::npos ? exe : exe.substr(0, ext)) + "Params.ini"};
}

// FILE{n}NAME without surrounding blanks and control characters, refused as a configuration
// error when it is missing or names anything but a file of the update inside the program folder.
std::string ListedFileName(TzelCustUpdaterDialogForm& Form, int N) {
    const std::string key = FileKey(N, "NAME");
    const std::string name = Trim(Form.ServerIniList().Values(key));
    if (name.empty()) throw EUpdaterError(kConfigProblem + "No filename in Server Ini File Count.");
    switch (CheckFileName(name, OwnFileNames(Form))) {
    case TFileNameFault::None: return name;
    case TFileNameFault::LeavesProgramFolder:
        throw EUpdaterError(kConfigProblem + key + " names \"" + ShownText(name) +
                            "\", which is not a file inside the program folder.");
    case TFileNameFault::ControlCharacter:
        throw EUpdaterError(kConfigProblem + key + " holds a control character, which no file name may hold.");
    case TFileNameFault::OwnFile:
        throw EUpdaterError(kConfigProblem + key + " names \"" + ShownText(name) +
                            "\", which is one of the updater's own files.");
    }
    return name;
}

std::string VersionText(const TFileVerRec& V) {
    return std::to_string(V.Version[1]) + "." + std::to_string(V.Version[2]) + "." + std::to_string(V.Version[3]) +
           "." + std::to_string(V.Version[4]);
}

// The installed file's version numbers; 0.0.0.0 when it is missing or has none.
TFileVerRec InstalledVersion(const std::string& FileName) {
    TFileVerRec v;
    if (FileExists(FileName)) {
        std::string ignored;
        ReadFileVersion(FileName, v.Version[1], v.Version[2], v.Version[3], v.Version[4], ignored);
    }
    return v;
}

// Runs entry N as its REQUEST says: at once, or in a window after the user agreed.
void RunEntry(TzelCustUpdaterDialogForm& Form, int N, const std::string& Name, bool Downloaded) {
    Form.SetCurrentStep(2);
    const std::string message = ShownText(Form.ServerIniList().Values(FileKey(N, "MESSAGE")));
    if (!Form.ShowForms()) {
        Form.RunDownloadedFile(Name, false, Downloaded);
        return;
    }
    if (Form.ServerIniList().Values(FileKey(N, "REQUEST")) != "TRUE") {
        Form.RunDownloadedFile(Name, true, Downloaded);
    } else if (Runtime().Confirm(message)) {
        Runtime().ProcessMessages();
        Form.Repaint();
        Form.RunDownloadedFile(Name, true, Downloaded);
    } else {
        Form.ReportStatus(message, true, false, false);
        Form.SetContinueUpdating(false);
    }
    Runtime().ProcessMessages();
    Form.Repaint();
}
}  // namespace

void TzelCustUpdaterDialogForm::DownloadAndRunFiles() {
    const std::string count = FServerIniList->Values("FILECOUNT");
    TFileVerRec serverVersion;
    ParseVersionStr(serverVersion);
    if (count.empty()) throw EUpdaterError(kConfigProblem + "No files in Server Ini File Count.");
    const int n = StrToInt(count);
    for (int i = 0; i < n && FContinueUpdating; ++i) {
        FCurrentFileNumberOfInterest = i;
        const std::string version = FServerIniList->Values(FileKey(i, "VERSION"));
        const std::string name = ListedFileName(*this, i);
        FCurrentFileOfInterest = name;
        if (!version.empty()) serverVersion.VersionStr = version;

        const TFileVerRec installed = InstalledVersion(ProgramFolder() + name);
        TLastRunEntry& entry = FLastRun.Entry(i);
        entry.Name = name;
        entry.Offered = serverVersion.VersionStr;
        entry.InstalledBefore = VersionText(installed);
        const int flags = CompareFileVersions(serverVersion, installed, name);
        if (flags & vcDownload) {
            const std::string url = GetServerPath() + UrlEncodedFileName(name);
            WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadAndRunFiles(): Prepare to Download = " +
                                          ShownText(url) + ", Download Dest = " + name);
            ExpectDownload(i, name);
            FLastRun.Entry(i).Downloaded = DownloadFile(url, name, "");
            SetLocalIniValue(FileKey(i, "RAN"), "FALSE");
        }

        const TRunDecision d =
            DecideRun(flags, FServerIniList->Values(FileKey(i, "EXECUTE")), FLocalIniList->Values(FileKey(i, "RAN")));
        if (d.Never) {
            ReportStatus(name + " does not run in this installation.", false, false, false);
            continue;
        }
        if (d.AlreadyRan) ReportStatus(name + " already ran.", false, false, false);
        if (d.MarkerEvaluated) Runtime().ProcessMessages();
        if (d.NothingNewer) ReportStatus(GetStatusMessage(stNoNewerVersion, name, "False"), true, false, false);
        if (d.Run) RunEntry(*this, i, name, d.Download);
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
        // The listed file itself, never a prefix of its path that happens to name another file.
        const int code = RunAndWait(ProgramFolder() + FileName, params, wait, ProgramFolder());
        ok = IsCompletedExitCode(code);
        TLastRunEntry& entry = FLastRun.Entry(k);
        entry.Waited = true;
        entry.ExitCode = code;
        WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.RunFile(): " + FileName + " ended with exit code " +
                                      std::to_string(code) +
                                      (ok ? ", which counts as completed." : ", which does not count as completed."));
        if (!ok) {
            const std::string failure =
                FileName + " did not complete execution: exit code " + std::to_string(code) + ".";
            FLastRun.NoteRunFailed(failure);
            ReportEvent(TEventType::Warning, failure);
        }
    }
    FLastRun.Entry(k).Ran = ok ? "TRUE" : "FAILED";
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
