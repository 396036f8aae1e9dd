#pragma once
// The product's updater form: the engine form with the product's installation layout, its
// params file, the update starter check, the update decision for its own update program
// (the script updater), the deferred run that waits for Proceed, the contact details and
// the status upload. Only the engine's virtual operations are replaced here; the engine
// knows nothing of the product.
#include <string>

#include "engine/zel_cust_update_dialog.h"
#include "ui/product_dialog.h"

namespace product {

struct TStatusUpload;

// Names and texts of the product's installation.
inline constexpr char kScriptUpdaterName[] = "BrinquetExpressScriptUpdater.exe";
inline constexpr char kClientExeName[] = "BrinquetExpress.exe";
inline constexpr char kDefaultTargetExe[] = "BQKORVEXP.exe";
inline constexpr char kUpdateStarterName[] = "zelUpdaterStarter.exe";
inline constexpr char kUpdateStarterMinVersion[] = "2.2.2.5";
inline constexpr char kUpdateStarterProgName[] = "zelUpdateStarterNew";
inline constexpr char kParamsSection[] = "Settings";

// The product root for a program folder (both ending in "/"): the first folder named
// "Updates" (any letter case) is taken out of the path. A longer folder name that only
// begins with "Updates" is not that folder.
std::string ProductRootOf(const std::string& ProgramFolder);
// The params file beside Executable: its extension (from the last dot of the file name)
// replaced by "Params.ini", or "Params.ini" appended when it has none.
std::string ParamsFileNameOf(const std::string& Executable);

}  // namespace product

class TzelBrinquetUpdaterDialogForm : public TzelCustUpdaterDialogForm, public ui::TProductDialogExtras {
public:
    TzelBrinquetUpdaterDialogForm();
    ~TzelBrinquetUpdaterDialogForm() override;

    // Replaced operations of the engine.
    bool RunDownloadedFile(const std::string& FileName, bool FromVisual, bool WasDownloaded,
                           const serverini::TServerIniEntry& Entry) override;
    // The engine's run; a run that ends in an error gives the window its layout back first.
    bool RunFile(const std::string& FileName, bool FromVisual, bool WasDownloaded,
                 const serverini::TServerIniEntry& Entry) override;
    std::string GetParamsForFileRun(const std::string& aFileName) override;
    std::string GetServerPath() override;
    void AfterRunFile(const std::string& FileName) override;
    void BeforeRunFile(const std::string& FileName) override;
    std::string GetStatusMessage(int StatusType, const std::string& FileAlias, const std::string& Extra,
                                 const serverini::TServerIniEntry* Entry) override;
    int CompareFileVersions(TFileVerRec ServerVersion, TFileVerRec LocalVersion, const std::string& FileName,
                            const serverini::TServerIniEntry& Entry) override;
    void InitializeIt() override;
    std::string GetProgName() override;
    std::string GetDefaultServerPath() override;
    void Start() override;
    void UpdateNow() override;
    void Finish() override;
    void MergeAndSaveLocalIniFile() override;
    void DownloadAndRunFiles() override;

    // Window events and handlers.
    void FormCreate() override;
    void FormShow() override;
    void ProceedBitBtnClick(ui::TComponent* Sender) override;
    void CloseBtnClick() override;
    void ApplicationEvents1Exception(const std::exception& E) override;
    void ProceedTimerTimer();
    void MoreInfoLabelMouseEnter();
    void MoreInfoLabelMouseLeave();
    void MoreInfoLabelClick();

    // Installation layout and params file.
    std::string GetProductRoot();
    std::string GetParamsFileName();
    void WriteParamsFile(const std::string& FileName);
    std::string ReadParamsValue(const std::string& Key);
    int ReadLocalNumber();
    std::string GetTargetExeName();
    std::string GetOldFileVersion();
    void GetUpdateReadiness(std::string& Message, std::string& Ready);

    // True when the product may be updated in this run; asked once, kept for the run
    // (a probe error is not kept, so the next call asks again).
    bool CheckUpdateStarter();

    // Contact details and the status upload.
    bool AskContactDetails();
    // R + "Utils/Contact.ini", R being the root the params file names.
    std::string ContactFileName();
    // The local INI's SUPPORTURL, or the built-in support service.
    std::string SupportUrl();

    // Properties.
    const std::string& WorkingDir() const { return FWorkingDir; }
    void SetWorkingDir(const std::string& Value) { FWorkingDir = Value; }
    const std::string& AdminDir() const { return FAdminDir; }
    void SetAdminDir(const std::string& Value) { FAdminDir = Value; }

    // State, read by tests.
    bool Decided() const { return FDecided; }
    bool UpdateSucceeded() const { return FUpdateSucceeded; }
    const std::string& HelpLocation() const { return FHelpLocation; }
    const std::string& ContactName() const { return FContactName; }
    const std::string& Email() const { return FEmail; }

protected:
    // Gives the processor away between two rounds of window messages while the user
    // decides, so the wait does not spin.
    virtual void IdleWhileWaiting();

private:
    // Proceed's work on the waiting entry: the run, the status upload with these contact
    // details after a successful run of the script updater, the end of the wait.
    void CarryOutWaitingEntry(const std::string& Contact, const std::string& Email);
    // An unattended run's Proceed: no dialog; the contact file's values.
    void ProceedUnattended();
    void UploadStatus(const product::TStatusUpload& Upload);
    // The title and progress panels and the height a file run took away, and Close.
    void RestoreLayout();
    // The busy indicator stopped, the progress bar at its end (empty when Failed).
    void ShowEnd(bool Failed);

    std::string FWorkingDir;
    std::string FAdminDir;
    bool FUpdateSucceeded = false;
    bool FCheckedUpdateStarter = false;
    bool FUpdateStarterOK = false;
    // The script updater's run that waits for Proceed, as RunDownloadedFile was given it; its
    // entry's texts are views into the server INI list, which stays until the file loop ends.
    struct TWaitingRun {
        std::string FileName;
        bool FromVisual = false;
        bool WasDownloaded = false;
        serverini::TServerIniEntry Entry;
    };
    TWaitingRun FWaiting;
    std::string FHelpLocation;
    bool FDecided = false;
    int32_t FOldHeight = 0;
    int32_t FOldProgressPanelHeight = 0;
    int32_t FOldJobTitlePanelHeight = 0;
    std::string FContactName;
    std::string FEmail;
};
