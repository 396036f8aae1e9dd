// The file list: compare, download, decide, run.
#include "engine/file_names.h"
#include "engine/run_decision.h"
#include "engine/zel_cust_update_dialog.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/folder_lock.h"
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
            (ext == std::string::npos ? exe : exe.substr(0, ext)) + "Params.ini",
            kKeptTransferFile,
            kResumeRecordFile,
            kFolderLockFile};
}

// Whether Name, as it stands in the program folder, is one of the own files under another
// spelling (Windows: a short 8.3 name; anywhere: a link). Asked before anything is written.
bool ReachesOwnFile(const std::string& Name, const std::vector<std::string>& OwnFiles) {
    std::vector<std::string> paths;
    paths.reserve(OwnFiles.size());
    for (const std::string& own : OwnFiles) paths.push_back(ProgramFolder() + own);
    return IsSameFileAsAny(ProgramFolder() + Name, paths);
}

// FILE{n}NAME without surrounding blanks and control characters, refused as a configuration
// error when it is missing or names anything but a file of the update inside the program folder.
std::string ListedFileName(TzelCustUpdaterDialogForm& Form, int N) {
    const std::string key = FileKey(N, "NAME");
    const std::string name = Trim(Form.ServerIniList().Values(key));
    if (name.empty()) throw EUpdaterError(kConfigProblem + "No filename in Server Ini File Count.");
    const std::vector<std::string> own = OwnFileNames(Form);
    TFileNameFault fault = CheckFileName(name, own);
    if (fault == TFileNameFault::None && ReachesOwnFile(name, own)) fault = TFileNameFault::OwnFile;
    switch (fault) {
    case TFileNameFault::None: return name;
    case TFileNameFault::OtherSpelling:
        throw EUpdaterError(kConfigProblem + key + " names \"" + name +
                            "\", which Windows reads as another name (a part ending in a dot or a blank, or a colon).");
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
    // The read itself finds a missing file (0.0.0.0), without a look-up of the name beforehand.
    TFileVerRec v;
    std::string ignored;
    ReadFileVersion(FileName, v.Version[1], v.Version[2], v.Version[3], v.Version[4], ignored);
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
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) {
        std::string name = Trim(FServerIniList->Values(FileKey(i, "NAME")));
        if (name.empty()) break;  // the loop stops there with its error
        names.push_back(std::move(name));
    }
    MoveRanMarkers(names);
    for (int i = 0; i < n && FContinueUpdating; ++i) {
        FCurrentFileNumberOfInterest = i;
        const std::string version = FServerIniList->Values(FileKey(i, "VERSION"));
        const std::string name = ListedFileName(*this, i);
        FCurrentFileOfInterest = name;
        if (!version.empty()) serverVersion.VersionStr = version;

        DeleteFileIfExists(ProgramFolder() + name + kMovedAsideSuffix);  // an old copy that was in use
        const TFileVerRec installed = InstalledVersion(ProgramFolder() + name);
        TLastRunEntry& entry = FLastRun.Entry(i);
        entry.Name = name;
        entry.Offered = serverVersion.VersionStr;
        entry.InstalledBefore = VersionText(installed);
        // The installed copy is already the offered one: nothing newer, whatever the version says.
        const int flags = InstalledCopyIsOffered(i, ProgramFolder() + name)
                              ? vcNotNewer
                              : CompareFileVersions(serverVersion, installed, name);
        if (flags & vcDownload) {
            const std::string url = GetServerPath() + UrlEncodedFileName(name);
            WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadAndRunFiles(): Prepare to Download = " +
                                          ShownText(url) + ", Download Dest = " + name);
            ExpectDownload(i, name);
            FLastRun.Entry(i).Downloaded = DownloadFile(url, name, "");
            SetRanMarker(i, name, "FALSE");
        }

        const TRunDecision d = DecideRun(flags, FServerIniList->Values(FileKey(i, "EXECUTE")), RanMarker(i, name));
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

bool TzelCustUpdaterDialogForm::RunDownloadedFile(const std::string& FileName, bool FromVisual, bool WasDownloaded) {
    return RunFile(FileName, FromVisual, WasDownloaded);
}

bool TzelCustUpdaterDialogForm::RunFile(const std::string& FileName, bool, bool WasDownloaded) {
    const int k = FCurrentFileNumberOfInterest;
    const std::string params = GetParamsForFileRun(FileName);
    // Windows hands a batch file to cmd.exe, which reads the whole command line again by its
    // own rules: "x&y.bat" would run y.bat. Such a run is never started.
    if (IsBatchFile(FileName) && (HoldsCommandCharacter(ProgramFolder() + FileName) || HoldsCommandCharacter(params)))
        throw EUpdaterError(kConfigProblem + FileKey(k, "NAME") + " names the batch file \"" + FileName +
                            "\", whose path or parameters hold a character the command interpreter reads as its own "
                            "(& | < > ^ % ! \" ( ) or a control character).");
    ReportStatus(GetStatusMessage(stRunning, FileName, WasDownloaded ? "True" : "False"), true, false, false);
    const int wait = StrToIntDef(FServerIniList->Values(FileKey(k, "WAIT")), 0);
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
    if (ok) SetRanMarker(k, FileName, "TRUE");
    AfterRunFile(FileName);
    return ok;
}

std::string TzelCustUpdaterDialogForm::GetParamsForFileRun(const std::string&) { return ""; }
intptr_t TzelCustUpdaterDialogForm::GetRunWindowHandle() { return 0; }
void TzelCustUpdaterDialogForm::AfterRunFile(const std::string&) {}
void TzelCustUpdaterDialogForm::BeforeRunFile(const std::string&) {}
void TzelCustUpdaterDialogForm::BeforeUsingDefaultLocation() {}
