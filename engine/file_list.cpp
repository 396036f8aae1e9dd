// The file list: compare, download, decide, run.
#include "server_ini/file_names.h"
#include "engine/own_files.h"
#include "engine/run_decision.h"
#include "engine/zel_cust_update_dialog.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/file_version.h"
#include "platform/folder_lock.h"
#include "platform/os_services.h"
#include "platform/shown_text.h"
#include "platform/strconv.h"
#include "server_ini/server_ini.h"
#include "ui/application.h"
#include "ui/runtime.h"

#include <string>
#include <unordered_set>

using namespace engine;
using namespace serverini;
using namespace platform;
using namespace ui;

namespace {
std::vector<std::string> OwnFiles(TzelCustUpdaterDialogForm& Form) {
    return OwnFileNames({Form.ProgName(), Form.GetProgName()}, ExtractFileName(Form.LogFileName()),
                        ExtractFileName(Application().ExeName));
}

// The own files as paths in Folder, for the check of every listed name.
std::vector<std::string> OwnPaths(const std::string& Folder, const std::vector<std::string>& OwnFiles) {
    std::vector<std::string> paths;
    paths.reserve(OwnFiles.size());
    for (const std::string& own : OwnFiles) paths.push_back(Folder + own);
    return paths;
}

// The names whose old copy, moved aside because it was in use, is still in the folder. One
// look at the folder, where a delete for every listed name cost a system call each.
std::unordered_set<std::string> MovedAsideNames(const std::string& Folder) {
    std::unordered_set<std::string> names;
    const size_t suffix = std::char_traits<char>::length(kMovedAsideSuffix);
    // Keyed in upper case: where letter case counts, a key too many costs a delete that finds nothing.
    for (const std::string& old : NamesEndingIn(Folder, kMovedAsideSuffix))
        names.insert(UpperCase(std::string_view(old).substr(0, old.size() - suffix)));
    return names;
}

std::string VersionText(const TFileVerRec& V) {
    return std::to_string(V.Version[1]) + "." + std::to_string(V.Version[2]) + "." + std::to_string(V.Version[3]) +
           "." + std::to_string(V.Version[4]);
}

// Runs the entry as its REQUEST says: at once, or in a window after the user agreed.
void RunEntry(TzelCustUpdaterDialogForm& Form, const TServerIniEntry& Entry, const std::string& Name, bool Downloaded) {
    Form.SetCurrentStep(2);
    const std::string message = ShownText(Entry.Message);
    if (!Form.ShowForms()) {
        Form.RunDownloadedFile(Name, false, Downloaded, Entry);
        return;
    }
    if (!Entry.Request) {
        Form.RunDownloadedFile(Name, true, Downloaded, Entry);
    } else if (Runtime().Confirm(message)) {
        Runtime().ProcessMessages();
        Form.Repaint();
        Form.RunDownloadedFile(Name, true, Downloaded, Entry);
    } else {
        Form.ReportStatus(message, true, false, false);
        Form.SetContinueUpdating(false);
    }
    Runtime().ProcessMessages();
    Form.Repaint();
}
}  // namespace

void TzelCustUpdaterDialogForm::DownloadAndRunFiles() {
    const std::vector<std::string> own = OwnFiles(*this);
    const TServerIni::TLoaded read = TServerIni::Load(*FServerIniList, own);
    if (const TFault* fault = read.FirstError()) throw EUpdaterError(fault->Text);
    const TServerIni& ini = read.Model;
    std::vector<std::string> names;
    names.reserve(size_t(ini.EntryCount()));
    for (int i = 0; i < ini.EntryCount(); ++i) names.emplace_back(ini.Entry(i).Name);
    MoveRanMarkers(names);
    names = {};
    const std::string folder = ProgramFolder();
    const std::vector<std::string> ownPaths = OwnPaths(folder, own);
    const std::unordered_set<std::string> movedAside = MovedAsideNames(folder);
    // The entry's texts are views into the list, which stays as it is until the loop ends.
    TFileVerRec serverVersion;
    for (int i = 0; i < ini.FileCount() && FContinueUpdating; ++i) {
        // The update stops at the first fault of an entry, where it reaches that entry.
        if (const TFault* fault = read.FirstError(i)) throw EUpdaterError(fault->Text);
        const TServerIniEntry current = ini.Entry(i);
        FCurrentFileNumberOfInterest = i;
        const std::string name(current.Name);
        // A listed name may be an own file under another spelling (Windows: a short 8.3 name;
        // anywhere: a link). Asked before anything is written. The same look reads the
        // installed version (0.0.0.0 when the file is missing or has none).
        const TListedFileLook look = LookAtListedFile(folder + name, ownPaths);
        if (look.ReachesOwnFile)
            throw EUpdaterError(FileNameFaultText(TFileNameFault::OwnFile, current.Key("NAME"), name));
        FCurrentFileOfInterest = name;
        serverVersion.VersionStr = std::string(current.Version);

        if (!movedAside.empty() && movedAside.count(UpperCase(name)))
            DeleteFileIfExists(folder + name + kMovedAsideSuffix);  // an old copy that was in use
        const TFileVerRec installed = VersionRecOf(look.Version);
        TLastRunEntry& entry = FLastRun.Entry(i);
        entry.Name = name;
        entry.Offered = serverVersion.VersionStr;
        entry.InstalledBefore = VersionText(installed);
        // The installed copy is already the offered one: nothing newer, whatever the version says.
        const int flags = InstalledCopyIsOffered(current, folder + name)
                              ? vcNotNewer
                              : CompareFileVersions(serverVersion, installed, name, current);
        if (flags & vcDownload) {
            const std::string url = GetServerPath() + UrlEncodedFileName(name);
            WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.DownloadAndRunFiles(): Prepare to Download = " +
                                          ShownText(url) + ", Download Dest = " + name);
            FLastRun.Entry(i).Downloaded = DownloadFile(url, name, "", ExpectedDownload(current));
            SetRanMarker(i, name, "FALSE");
        }

        const TRunDecision d = DecideRun(flags, std::string(current.Execute), RanMarker(i, name));
        if (d.Never) {
            ReportStatus(name + " does not run in this installation.", false, false, false);
            continue;
        }
        if (d.AlreadyRan) ReportStatus(name + " already ran.", false, false, false);
        if (d.MarkerEvaluated) Runtime().ProcessMessages();
        if (d.NothingNewer) ReportStatus(GetStatusMessage(stNoNewerVersion, name, "False", &current), true, false, false);
        if (d.Run) RunEntry(*this, current, name, d.Download);
    }
}

bool TzelCustUpdaterDialogForm::RunDownloadedFile(const std::string& FileName, bool FromVisual, bool WasDownloaded,
                                                  const TServerIniEntry& Entry) {
    return RunFile(FileName, FromVisual, WasDownloaded, Entry);
}

bool TzelCustUpdaterDialogForm::RunFile(const std::string& FileName, bool, bool WasDownloaded,
                                        const TServerIniEntry& Entry) {
    const int k = Entry.Number;
    const std::string params = GetParamsForFileRun(FileName);
    // Windows hands a batch file to cmd.exe, which reads the whole command line again by its
    // own rules: "x&y.bat" would run y.bat. Such a run is never started.
    if (IsBatchFile(FileName) && (HoldsCommandCharacter(ProgramFolder() + FileName) || HoldsCommandCharacter(params)))
        throw EUpdaterError(kConfigProblem + Entry.Key("NAME") + " names the batch file \"" + FileName +
                            "\", whose path or parameters hold a character the command interpreter reads as its own "
                            "(& | < > ^ % ! \" ( ) or a control character).");
    ReportStatus(GetStatusMessage(stRunning, FileName, WasDownloaded ? "True" : "False", &Entry), true, false, false);
    const int wait = Entry.Wait;
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
        ReportStatus(GetStatusMessage(stFinishedRunning, FileName, "", &Entry), true, false, false);
    else
        ReportStatus(GetStatusMessage(stRunFailed, FileName, "", &Entry), true, true, true);
    if (ok) SetRanMarker(k, FileName, "TRUE");
    AfterRunFile(FileName);
    return ok;
}

std::string TzelCustUpdaterDialogForm::GetParamsForFileRun(const std::string&) { return ""; }
intptr_t TzelCustUpdaterDialogForm::GetRunWindowHandle() { return 0; }
void TzelCustUpdaterDialogForm::AfterRunFile(const std::string&) {}
void TzelCustUpdaterDialogForm::BeforeRunFile(const std::string&) {}
void TzelCustUpdaterDialogForm::BeforeUsingDefaultLocation() {}
