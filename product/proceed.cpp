// Proceed: the start timer's press starts the update; a press while the script updater
// waits asks for the contact details, runs it, records the update at the support service
// and ends the wait.
#include <memory>

#include "server_ini/file_names.h"
#include "http/zel_http_send.h"
#include "platform/errors.h"
#include "platform/ini_file.h"
#include "platform/native_path.h"
#include "platform/strconv.h"
#include "product/brinquet_express_contact_dialog.h"
#include "product/brinquet_express_update_dialog.h"
#include "product/status_upload.h"
#include "ui/runtime.h"

using namespace engine;
using namespace serverini;
using namespace http;
using namespace platform;
using namespace product;
using namespace ui;

namespace {
const std::string kUploadTrouble =
    "Brinquet\xC2\xAE Express updater is having trouble communicating with Halvane Web Site to log your update "
    "status.\rPlease call Brinquet\xC2\xAE Express Support at 800-555-0142.\rThe specific error message is: ";
}  // namespace

void TzelBrinquetUpdaterDialogForm::ProceedBitBtnClick(TComponent* Sender) {
    ProceedBitBtn.Enabled = false;
    if (!Sender) {
        TzelCustUpdaterDialogForm::ProceedBitBtnClick(Sender);
        return;
    }
    AskContactDetails();
    CarryOutWaitingEntry(FContactName, FEmail);
}

void TzelBrinquetUpdaterDialogForm::CarryOutWaitingEntry(const std::string& Contact, const std::string& Email) {
    if (MoreInfoLabel.Visible) MoreInfoLabel.Visible = false;
    // The params, the ran mark and the status upload are for the name as written only.
    const bool holdsScriptUpdaterNameAsWritten = FWaiting.FileName.find(kScriptUpdaterName) != std::string::npos;
    std::string pastVer, localNum;
    if (holdsScriptUpdaterNameAsWritten) {
        // Read before the run: the update program may rewrite them.
        pastVer = ReadParamsValue("Old_File_Version");
        localNum = PadLocalNum(ReadParamsValue("Local_Num"));
    }
    // The engine's run: the waiting entry is not deferred a second time.
    const bool ok = RunFile(FWaiting.FileName, FWaiting.FromVisual, FWaiting.WasDownloaded, FWaiting.Entry);
    if (holdsScriptUpdaterNameAsWritten) FLastRun.SetProductValue("ScriptUpdaterRan", ok ? "TRUE" : "FALSE");
    if (ok && holdsScriptUpdaterNameAsWritten) {
        try {
            UploadStatus({std::string(FWaiting.Entry.OwnVersion), pastVer, localNum, Contact, Email});
        } catch (const std::exception& e) {
            // The update program has run and is marked as ran: a failed upload is reported,
            // and the update goes on rather than leaving the user in a wait only Close ends.
            // Close pressed while the upload waited is the user's stop, not a fault.
            if (FStopping) {
                FLastRun.NoteUpload(TUploadState::UploadFailed, kUserStopText);
                ReportStatus(kUserStopText, true, true, false);
            } else {
                FLastRun.NoteUpload(TUploadState::UploadFailed, e.what());
                ReportEvent(TEventType::Warning, e.what());
                // Unattended, nobody sees the window: the error goes where the other errors go.
                if (!FShowForms) Runtime().ShowMessage(e.what());
                try {
                    ApplicationEvents1Exception(e);
                } catch (const std::exception&) {
                    // Unattended, the exception event hands the error on after logging it.
                }
            }
        }
    }
    FDecided = true;
    JobLabel.Caption = "Upgrading";
}

void TzelBrinquetUpdaterDialogForm::UploadStatus(const TStatusUpload& Upload) {
    TStringList reply;
    TzelHttpSend http;
    http.UserAgent = kStatusUploadAgent;
    try {
        http.PostURL(SupportUrl(), StatusUploadBody(Upload), reply);
    } catch (EUpdaterError& e) {
        e.SetMessage(kUploadTrouble + e.Message());
        throw;
    } catch (const std::exception& e) {
        throw EUpdaterError(kUploadTrouble + e.what());
    }
    if (reply.Text().find("Got It") != std::string::npos) {
        FLastRun.NoteUpload(TUploadState::Uploaded);
        ReportStatus("Uploaded current version status.", true, false, false);
    } else {
        const std::string text = "The support service did not confirm the upload.";
        FLastRun.NoteUpload(TUploadState::UploadFailed, text);
        ReportEvent(TEventType::Warning, text);
    }
}

std::string TzelBrinquetUpdaterDialogForm::SupportUrl() {
    const std::string url = Trim(FLocalIniList->Values("SUPPORTURL"));
    return url.empty() ? kDefaultSupportUrl : url;
}

std::string TzelBrinquetUpdaterDialogForm::ContactFileName() {
    // Without a root from the params file (the starter check failed) the installation's
    // own root serves; the dialog is shown all the same.
    std::string root = ReadParamsValue("BrinquetRoot");
    if (root.empty()) root = GetProductRoot();
    if (root.back() != '/') root += '/';
    return root + NativePath("Utils/Contact.ini");
}

bool TzelBrinquetUpdaterDialogForm::AskContactDetails() {
    bool result = false;
    auto dialog = std::make_unique<TContactForm>(this);
    dialog->FormCreate();
    try {
        TIniFile contact(ContactFileName());
        dialog->ContactNameEdit.Text = contact.ReadString("MAIN", "Contact", "");
        dialog->EmailEdit.Text = contact.ReadString("MAIN", "Email", "");
        if (dialog->ShowModal() == mrOk) {
            FContactName = dialog->ContactNameEdit.Text;
            FEmail = dialog->EmailEdit.Text;
            result = true;
            contact.WriteString("MAIN", "Contact", FContactName);
            contact.WriteString("MAIN", "Email", FEmail);
        }
    } catch (const std::exception&) {
        // Nothing around the dialog may stop the update.
    }
    return result;
}

void TzelBrinquetUpdaterDialogForm::ProceedUnattended() {
    // Nobody could be asked: the contact file's values as they stand.
    std::string contact, email;
    try {
        const TIniFile file(ContactFileName());
        contact = file.ReadString("MAIN", "Contact", "");
        email = file.ReadString("MAIN", "Email", "");
    } catch (const std::exception&) {
    }
    CarryOutWaitingEntry(contact, email);
}
