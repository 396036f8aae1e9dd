#pragma once
// The updater engine: the generic update and its dialog window in one form. Every decision
// is a virtual operation that a product form may replace; the algorithm is written once here.
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/last_run.h"
#include "platform/string_list.h"
#include "platform/update_utils.h"
#include "server_ini/server_ini.h"
#include "trust/file_expectation.h"
#include "ui/engine_dialog.h"

class TzelHTTPFileDownloader;
class TzelCustUpdaterDialogForm;
namespace engine {
// Runs FormDestroy (its Finish included) and frees the form.
void DestroyForm(TzelCustUpdaterDialogForm* Form);
// The exit code the last form's run ended with, set when the form is destroyed.
int LastRunExitCode();

}  // namespace engine

// Flags returned by CompareFileVersions.
enum : int { vcNotNewer = 1, vcDownload = 2, vcRunAnyway = 4, vcDoNotRun = 8, vcBlocked = 32 };

namespace engine {
// The alias the server INI's download is reported under; it has status texts of its own.
inline constexpr char kConfigurationAlias[] = "Configuration File";
// The line that tells the user an update ended because they pressed Stop or Close.
inline constexpr char kUserStopText[] = "The update was stopped by the user.";
}  // namespace engine

// Status types, the steps of an update that GetStatusMessage names.
enum : int {
    stDownloading = 1,
    stDownloaded = 2,
    stNoNewerVersion = 4,
    stRunning = 5,
    stFinishedRunning = 6,
    stFinished = 7,
    stRunFailed = 8,
    stUpdateFailed = 10
};

class TzelCustUpdaterDialogForm : public ui::TEngineDialog {
public:
    TzelCustUpdaterDialogForm();
    ~TzelCustUpdaterDialogForm() override;

    // Virtual operations, in the order subclasses know them by. Entry: the server INI's entry
    // the operation acts on, as the file loop read it.
    virtual bool RunDownloadedFile(const std::string& FileName, bool FromVisual, bool WasDownloaded,
                                   const serverini::TServerIniEntry& Entry);
    virtual bool RunFile(const std::string& FileName, bool FromVisual, bool WasDownloaded,
                         const serverini::TServerIniEntry& Entry);
    virtual std::string GetParamsForFileRun(const std::string& aFileName);
    virtual std::string GetServerPath();
    virtual intptr_t GetRunWindowHandle();
    virtual void AfterRunFile(const std::string& FileName);
    virtual void BeforeRunFile(const std::string& FileName);
    // Entry: the entry the status is about; nullptr for the server INI's download and the end.
    virtual std::string GetStatusMessage(int StatusType, const std::string& FileAlias, const std::string& Extra,
                                         const serverini::TServerIniEntry* Entry);
    virtual int CompareFileVersions(TFileVerRec ServerVersion, TFileVerRec LocalVersion, const std::string& FileName,
                                    const serverini::TServerIniEntry& Entry);
    virtual void InitializeIt();
    virtual void BeforeUsingDefaultLocation();
    virtual std::string GetProgName();
    virtual std::string GetDefaultServerPath();
    virtual void SetErrorUpdating(bool Value);
    virtual void Start();
    virtual void UpdateNow();
    virtual void Finish();
    virtual void MergeAndSaveLocalIniFile();
    virtual void DownloadAndRunFiles();

    // Window events and handlers (a product form may replace them).
    virtual void FormCreate();
    virtual void FormDestroy();
    virtual void FormShow();
    virtual void StopBitBtnClick();
    // Sender: the button when the user pressed it; nullptr when the program presses it.
    virtual void ProceedBitBtnClick(ui::TComponent* Sender);
    virtual void CloseBtnClick();
    virtual void ApplicationEvents1Exception(const std::exception& E);

    void ReportStatus(const std::string& Stat, bool Visual, bool Bold, bool Red);
    void WriteLog(const std::string& FileName, const std::string& Text);
    void ScrollStatusToEnd();
    void DoDownloadProgress(int32_t BytestoSend, int32_t BytesSent);
    bool DownloadAndLoadServerIni();
    bool DownloadFile(const std::string& SourceFile, const std::string& TargetFile, const std::string& TargetFileAlias);
    // A download that must match what Expected gives (its SHA256 also lets a cut one resume).
    bool DownloadFile(const std::string& SourceFile, const std::string& TargetFile, const std::string& TargetFileAlias,
                      const trust::TFileExpectation& Expected);
    void MergeServerValue(const std::string& AName);
    void SetLocalIniValue(const std::string& AName, const std::string& Value);
    // Entry N's RAN marker, N being listed as FileName: the marker recorded for that name, or
    // an old one without a recorded name; a marker recorded for another name does not apply.
    std::string RanMarker(int N, const std::string& FileName);
    // Brings each marker to the entry now listed under the name it was recorded for (Names:
    // the listed names by entry number) and saves the local INI when one moved.
    void MoveRanMarkers(const std::vector<std::string>& Names);
    // Sets entry N's RAN marker, recorded for FileName, and writes the local INI at once: a
    // crash a moment later must neither run a run-once program again nor lose a FALSE.
    void SetRanMarker(int N, const std::string& FileName, const std::string& Value);
    void NonVisualUpdatePrepare() {}
    void VisualUpdatePrepare() {}
    void SetLogFileName(const std::string& Value) { FzelLogFileName = Value; }
    void SetProgName(const std::string& Value) { FProgName = Value; }
    void SetCurrentStep(int Value) { FCurrentStep = Value; }
    void SetStopping(bool Value) { FStopping = Value; }
    void SetContinueUpdating(bool Value) { FContinueUpdating = Value; }
    // The progress bar at an update's end: full when it completed, empty when it failed or was stopped.
    void ShowUpdateEnd(bool Completed);
    // Loads the local INI; one that exists but cannot be read is then never saved over.
    void LoadLocalIniFile(const std::string& FileName);
    // Replaces the wait before a failed download is tried again (Ms: 1000, 4000, 10000);
    // returning false ends the retries as Stop does.
    std::function<bool(int Ms)> RetryPause;

    // Another updater holds this program folder: the run ends as AlreadyRunning, and its
    // record and exit code say so.
    void NoteAlreadyRunning(const std::string& Text);
    // The exit code this run ends with as it stands (EXITCODES among the parameters: one that
    // tells the outcome).
    int ExitCode() const;
    const engine::TLastRun& LastRun() const { return FLastRun; }

    // Properties.
    bool Debug() const { return FDebug; }
    TzelHTTPFileDownloader& HTTPFileDownloader() { return *FHTTPFileDownloader; }
    bool ShowForms() const { return FShowForms; }
    bool VisualDebug() const { return FVisualDebug; }
    platform::TStringList& ParamList() { return *FParamList; }
    platform::TStringList& LocalIniList() { return *FLocalIniList; }
    platform::TStringList& ServerIniList() { return *FServerIniList; }
    std::string ProgName() const { return FProgName; }

    // State, read by tests and subclasses.
    int CurrentStep() const { return FCurrentStep; }
    bool Stopping() const { return FStopping; }
    bool ContinueUpdating() const { return FContinueUpdating; }
    bool ErrorUpdating() const { return FErrorUpdating; }
    bool UsingDefaultLocation() const { return FUsingDefaultLocation; }
    bool Updating() const { return FUpdating; }
    const std::string& LogFileName() const { return FzelLogFileName; }
    const std::string& CurrentFileOfInterest() const { return FCurrentFileOfInterest; }

protected:
    int32_t FOldProgMaxToSend = 0;
    bool FVisualDebug = false;
    bool FShowForms = false;
    std::unique_ptr<platform::TStringList> FParamList;
    std::unique_ptr<platform::TStringList> FLocalIniList;
    std::unique_ptr<platform::TStringList> FServerIniList;
    std::unique_ptr<TzelHTTPFileDownloader> FHTTPFileDownloader;
    std::string FzelLogFileName;
    std::string FProgName;
    int FCurrentStep = 0;
    bool FStopping = false;
    std::string FCurrentFileOfInterest;
    bool FContinueUpdating = false;
    bool FErrorUpdating = false;
    bool FUsingDefaultLocation = false;
    bool FDebug = false;
    // The number of the entry the file loop is at (the last one after the loop), for subclasses.
    int FCurrentFileNumberOfInterest = 0;

    // The publisher's proofs and the certificate policy (engine/publisher_trust.cpp).
    void ApplyTrustSettings();
    bool LoadServerIni(const std::string& Url, const std::string& FileName);
    // What entry's download must match; with a publisher's key a hash for every byte that
    // will be installed, or the download is refused.
    trust::TFileExpectation ExpectedDownload(const serverini::TServerIniEntry& Entry);
    void CheckTransferFile(const std::string& FileName, const std::string& Alias,
                           const trust::TFileExpectation& Expected);
    [[noreturn]] void RefuseDownload(const std::string& Text);
    // Whether FileName already has the entry's SHA256 (and SIZE when given).
    bool InstalledCopyIsOffered(const serverini::TServerIniEntry& Entry, const std::string& FileName);
    // Waits Ms before a download is tried again; false when Stop or Close ended the wait.
    bool PauseBeforeRetry(int Ms);
    std::string FNewPublicKey;  // NEWPUBLICKEY of the signed server INI, taken at a run without an error
    void AdoptNewPublicKey();
    // Whether the current entry's ROLLOUT leaves this workstation out (the status says so),
    // and its bucket, drawn at the first release that needs it (engine/staged_release.cpp).
    bool HeldBackByRollout(const serverini::TServerIniEntry& Entry, const std::string& FileName);
    int RolloutBucket();
    engine::TLastRun FLastRun;
    // An event for the system's log, filed under the program name; server text shown escaped.
    void ReportEvent(platform::TEventType Type, const std::string& Text);

private:
    friend void engine::DestroyForm(TzelCustUpdaterDialogForm*);
    std::string TroubleMessage(const std::string& Detail);
    // Writes the local INI list as it stands (no keys merged); not over one that could not be read.
    void SaveLocalIniFile();
    void WriteLastRun();
    std::mt19937 FRandom;
    bool FUpdating = false;  // an UpdateNow is running: a nested Proceed is refused
    bool FDestroyed = false;
    bool FLocalIniUnreadable = false;  // the local INI exists but could not be loaded
};

namespace engine {

// Forms are made and unmade in two steps, so that the creation and destruction events
// reach a product form's handlers (a C++ constructor or destructor cannot dispatch to them).
template <class TFormClass>
std::unique_ptr<TFormClass, void (*)(TzelCustUpdaterDialogForm*)> CreateForm() {
    std::unique_ptr<TFormClass, void (*)(TzelCustUpdaterDialogForm*)> form(new TFormClass, &engine::DestroyForm);
    form->FormCreate();
    return form;
}

}  // namespace engine
