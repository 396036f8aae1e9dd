#include "engine/zel_cust_update_dialog.h"

#include <exception>

#include "engine/log_clock.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"
#include "platform/url_secrets.h"
#include "ui/runtime.h"

using namespace engine;
using namespace platform;
using namespace ui;

void TzelCustUpdaterDialogForm::ReportStatus(const std::string& Status, bool Visual, bool Bold, bool Red) {
    if (Status.empty()) return;
    const std::string Stat = MaskUrlSecrets(Status);
    if (Visual && FShowForms) {
        if (Bold) ProgressMemo.SelBold = true;
        if (Red) ProgressMemo.SelColor = clRed;
        ProgressMemo.Append(Stat);
        ScrollStatusToEnd();
    }
    if (FDebug) WriteLog(FzelLogFileName, Stat);
}

void TzelCustUpdaterDialogForm::WriteLog(const std::string& FileName, const std::string& Line) {
    // Every URL the updater writes down may carry a password (SERVERPATH, a proxy's).
    const std::string Text = MaskUrlSecrets(Line);
    // Opened and closed for every entry, so all that was written survives an abrupt end.
    if (FDebug) AppendToFile(FileName, Utf8ToAnsi(LogStampText(LogClockNow()) + ":  " + Text + "\r\n"));
    if (FVisualDebug) Runtime().ShowMessage(Text);
}

void TzelCustUpdaterDialogForm::ScrollStatusToEnd() { Runtime().ScrollToCaret(ProgressMemo); }

std::string TzelCustUpdaterDialogForm::GetStatusMessage(int StatusType, const std::string& FileAlias,
                                                        const std::string&, const serverini::TServerIniEntry*) {
    if (SameText(FileAlias, kConfigurationAlias)) {
        if (StatusType == stDownloading) return "Getting upgrade information.";
        if (StatusType == stDownloaded) return "Comparing versions";
    }
    switch (StatusType) {
    case stDownloading: return "Downloading " + FileAlias + ".";
    case stDownloaded: return "Successfully downloaded " + FileAlias;
    case stNoNewerVersion: return "No newer version of " + FileAlias + " is available.";
    case stRunning: return "Running " + FileAlias;
    case stFinishedRunning: return "Finished running " + FileAlias;
    case stFinished: return "Finished all update processes";
    case stRunFailed: return FileAlias + " did not complete execution.";
    case stUpdateFailed: return "Update could not successfully complete.";
    default: throw EUpdaterError("Programming error: Could not find status type in get status message.");
    }
}

// Called from inside the handler that caught E (the message loop's, or a test's).
void TzelCustUpdaterDialogForm::ApplicationEvents1Exception(const std::exception& E) {
    auto restore = [this] {
        ProgressMemo.SelColor = clNavy;
        ProgressMemo.SelBold = false;
        ProgressMemo.MoveCaretToEnd();
        ScrollStatusToEnd();
    };
    try {
        WriteLog(FzelLogFileName, "Exception:  " + std::string(E.what()));
    } catch (...) {
        if (FShowForms) restore();
        throw;
    }
    if (!FShowForms) {
        // Non-visual mode does not absorb the error: it goes on to whoever runs the program.
        if (std::current_exception()) throw;
        throw EUpdaterError(E.what());
    }
    try {
        ProgressMemo.SelColor = clRed;
        ProgressMemo.SelBold = true;
        ProgressMemo.Append("=== Error ===");
        ProgressMemo.SelColor = clRed;
        ProgressMemo.SelBold = false;
        ProgressMemo.Append(MaskUrlSecrets(E.what()));
    } catch (...) {
        restore();
        throw;
    }
    restore();
}
