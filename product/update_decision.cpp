// The product's update: the params file before the engine's update, the decision for its
// own update program against the installed application, the run deferred until the user
// decides, the product's status texts and its server location.
#include <chrono>
#include <exception>
#include <thread>

#include "server_ini/file_names.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/native_path.h"
#include "platform/scope_exit.h"
#include "platform/shown_text.h"
#include "platform/strconv.h"
#include "platform/update_utils.h"
#include "product/brinquet_express_update_dialog.h"
#include "ui/runtime.h"

using namespace engine;
using namespace serverini;
using namespace platform;
using namespace product;
using namespace ui;

namespace {
const std::string kBrinquet = "Brinquet\xC2\xAE Express";

// The entry that runs as the script updater: its whole name, in any letter case.
bool NamesScriptUpdaterInAnyCase(const std::string& FileName) { return SameText(FileName, kScriptUpdaterName); }
}  // namespace

int TzelBrinquetUpdaterDialogForm::CompareFileVersions(TFileVerRec ServerVersion, TFileVerRec LocalVersion,
                                                       const std::string& FileName, const TServerIniEntry& Entry) {
    int outcome = vcNotNewer;
    if (NamesScriptUpdaterInAnyCase(FileName)) {
        // Read directly: whether the update may go ahead does not depend on the starter check.
        const TIniFile params(GetParamsFileName());
        if (params.ReadString(kParamsSection, "Update_Ready", "") != "1") {
            ReportStatus("Error: Update cannot be installed.", true, true, true);
            ReportStatus(params.ReadString(kParamsSection, "Installer_Message", "Unknown Installer Error"), true, false,
                         true);
            outcome = vcBlocked;
        } else {
            const std::string application = params.ReadString(kParamsSection, "Applocation", "");
            const std::string offered(Entry.OwnVersion);
            if (FileVersionAtLeast(application, offered)) {
                ReportStatus("You have the current version of " + kBrinquet + ".", true, false, false);
                outcome = vcNotNewer | vcDoNotRun;
            } else if (FileExists(kScriptUpdaterName) && FileVersionAtLeast(kScriptUpdaterName, offered)) {
                try {
                    ReportStatus(
                        "Current version was downloaded earlier, but did not successfully run. It will be run now.",
                        true, true, false);
                    outcome = vcRunAnyway;
                } catch (const std::exception&) {
                    ReportStatus("Newer version of " + kBrinquet + " is available for update.", true, true, false);
                    outcome = vcDownload;
                }
            } else if (HeldBackByRollout(Entry, FileName)) {
                outcome = vcNotNewer | vcDoNotRun;
            } else {
                ReportStatus("Newer version of " + kBrinquet + " is available for update.", true, true, false);
                outcome = vcDownload;
            }
        }
        // A blocked update ends the file list after this entry.
        SetContinueUpdating(outcome != vcBlocked);
        FLastRun.SetProductValue("ScriptUpdaterDue", outcome == vcBlocked                          ? "BLOCKED"
                                                     : (outcome & (vcDownload | vcRunAnyway)) != 0 ? "TRUE"
                                                                                                   : "FALSE");
    } else if (SameText(FileName, kClientExeName)) {
        if (ReadParamsValue("Network_Install") == "1") {
            std::string root = ReadParamsValue("BrinquetRoot");
            if (!root.empty() && root.back() != '/') root += '/';
            const std::string copy = root + NativePath(std::string("Admin/Client/") + kClientExeName);
            if (!FileExists(copy) || !FileVersionAtLeast(copy, ServerVersion.VersionStr)) outcome = vcDownload;
        }
    } else {
        outcome = TzelCustUpdaterDialogForm::CompareFileVersions(ServerVersion, LocalVersion, FileName, Entry);
    }
    return outcome;
}

bool TzelBrinquetUpdaterDialogForm::RunDownloadedFile(const std::string& FileName, bool FromVisual,
                                                      bool WasDownloaded, const TServerIniEntry& Entry) {
    if (!NamesScriptUpdaterInAnyCase(FileName))
        return TzelCustUpdaterDialogForm::RunDownloadedFile(FileName, FromVisual, WasDownloaded, Entry);
    FWaiting = {FileName, FromVisual, WasDownloaded, Entry};
    ProceedBitBtn.Enabled = true;
    JobLabel.Caption = "Ready to run update process from downloaded files.";
    FHelpLocation = std::string(Entry.HelpLocation);
    if (!FHelpLocation.empty()) MoreInfoLabel.Visible = true;
    ReportStatus("Ready to update " + kBrinquet + ".  Click Proceed to update", true, false, false);
    FDecided = false;
    if (!FShowForms) {
        // Nobody can press Proceed in an unattended run: it is an administrator's update,
        // so the entry runs at once.
        ReportStatus("Nobody can press Proceed in a non-visual run: the update went ahead unattended.", false, false,
                     false);
        ProceedBitBtn.Enabled = false;
        ProceedUnattended();
    }
    // A window already closed (Close pressed during a download, say) can no longer decide:
    // the wait would never end.
    while (!FDecided && !FStopping && Showing) {
        Runtime().ProcessMessages();
        if (!FDecided) IdleWhileWaiting();
    }
    return true;
}

void TzelBrinquetUpdaterDialogForm::IdleWhileWaiting() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

std::string TzelBrinquetUpdaterDialogForm::GetStatusMessage(int StatusType, const std::string& FileAlias,
                                                            const std::string& Extra, const TServerIniEntry* Entry) {
    if (!NamesScriptUpdaterInAnyCase(FileAlias)) {
        if (StatusType == stFinished) return CheckUpdateStarter() ? "Finished all update processes." : "";
        return TzelCustUpdaterDialogForm::GetStatusMessage(StatusType, FileAlias, Extra, Entry);
    }
    switch (StatusType) {
    case stNoNewerVersion:
        return SameText(Extra, "FALSE") ? kBrinquet + " is up to date."
                                        : kBrinquet + " update was downloaded earlier but did not finish.";
    case stRunning: return "Upgrading " + kBrinquet + "...";
    case stFinishedRunning:
        FUpdateSucceeded = true;
        return kBrinquet + " is now updated to version " + ShownText(Entry ? Entry->OwnVersion : "") + ".";
    case stRunFailed: {
        std::string message = ReadParamsValue("Installer_Message");
        if (!message.empty()) message += '\r';
        JobLabel.Caption = "Problem";
        return message + kBrinquet + " was not updated.";
    }
    case stUpdateFailed:
        JobLabel.Caption = "Problem";
        return "Update could not successfully complete. " + kBrinquet + " was not updated.";
    default: return "";
    }
}

std::string TzelBrinquetUpdaterDialogForm::GetParamsForFileRun(const std::string& aFileName) {
    return TzelCustUpdaterDialogForm::GetParamsForFileRun(aFileName) + " /s";
}

void TzelBrinquetUpdaterDialogForm::DownloadAndRunFiles() {
    JobLabel.Caption = "Checking for updates.";
    TzelCustUpdaterDialogForm::DownloadAndRunFiles();
}

void TzelBrinquetUpdaterDialogForm::UpdateNow() {
    // However the update ends, an error here included, the window shows that it has.
    const ScopeExit end(
        [this, inFlight = std::uncaught_exceptions()] { ShowEnd(std::uncaught_exceptions() > inFlight); });
    // Outside the engine's error handling: a failure here ends this update before the list.
    if (CheckUpdateStarter()) {
        try {
            DownloadAndLoadServerIni();  // gives the params file the server's FILE1TARGET
            WriteParamsFile(GetParamsFileName());
        } catch (const std::exception&) {
            if (!FStopping) throw;
            // Stop or Close ended the transfer: no error; the engine's update then stops at once.
            ReportStatus(kUserStopText, true, true, false);
        }
    }
    TzelCustUpdaterDialogForm::UpdateNow();
    TzelCustUpdaterDialogForm::Finish();
    JobLabel.Caption = "Done.";
    ProceedBitBtn.Enabled = false;
}

void TzelBrinquetUpdaterDialogForm::Finish() {
    // The closing step proper is the engine's, called once at the end of UpdateNow.
    if (CheckUpdateStarter()) return;
    ReportStatus(kBrinquet + " is not yet updated. To complete an " + kBrinquet +
                     " update, you must run this process again by doing the following:",
                 true, true, true);
    ReportStatus(
        "1) Open " + kBrinquet + ". 2) Click on Help | Check for Internet Updates | Check for Newer " + kBrinquet + ".",
        true, false, true);
}

std::string TzelBrinquetUpdaterDialogForm::GetServerPath() {
    // A location kept on the workstation wins over the one the server names; used as found.
    for (const TStringList* list : {FParamList.get(), FLocalIniList.get(), FServerIniList.get()}) {
        const std::string path = list->Values("SERVERPATH");
        if (!path.empty()) return path;
    }
    return GetDefaultServerPath();
}

std::string TzelBrinquetUpdaterDialogForm::GetDefaultServerPath() {
    return "http://updates.halvane.com/updates/BrinquetExpress/";
}
