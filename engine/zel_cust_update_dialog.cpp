#include "engine/zel_cust_update_dialog.h"

#include <chrono>
#include <cstdio>

#include "server_ini/file_names.h"
#include "http/proxy_prompt.h"
#include "http/zel_http_file_downloader.h"
#include "platform/codepage.h"
#include "platform/credential_dialog.h"
#include "platform/errors.h"
#include "platform/event_log.h"
#include "platform/file_utils.h"
#include "platform/os_services.h"
#include "platform/scope_exit.h"
#include "platform/shown_text.h"
#include "platform/strconv.h"
#include "platform/wait_hook.h"
#include "platform/url_secrets.h"
#include "ui/application.h"
#include "ui/runtime.h"

using namespace engine;
using namespace serverini;
using namespace http;
using namespace platform;
using namespace ui;

TzelCustUpdaterDialogForm::TzelCustUpdaterDialogForm() {
    StopBitBtn.OnClick = [this] { StopBitBtnClick(); };
    ProceedBitBtn.OnClick = [this] { ProceedBitBtnClick(&ProceedBitBtn); };
    CloseBtn.OnClick = [this] { CloseBtnClick(); };
    ApplicationEvents1.OnException = [this](const std::exception& E) {
        // What escaped an event handler broke the update it belonged to.
        FLastRun.NoteUpdateError(E.what());
        ReportEvent(TEventType::Error, E.what());
        ApplicationEvents1Exception(E);
    };
}

TzelCustUpdaterDialogForm::~TzelCustUpdaterDialogForm() {
    if (Application().Events == &ApplicationEvents1) Application().Events = nullptr;
    if (Application().MainForm == this) Application().MainForm = nullptr;
}

void engine::DestroyForm(TzelCustUpdaterDialogForm* Form) {
    if (!Form) return;
    if (!Form->FDestroyed) {
        Form->FDestroyed = true;
        Form->FormDestroy();
    }
    delete Form;
}

// ---- Window events -------------------------------------------------------------------

void TzelCustUpdaterDialogForm::FormCreate() {
    FRandom.seed(uint32_t(std::chrono::system_clock::now().time_since_epoch().count()));
    FParamList = std::make_unique<TStringList>();
    FLocalIniList = std::make_unique<TStringList>();
    FServerIniList = std::make_unique<TStringList>();
    FHTTPFileDownloader = std::make_unique<TzelHTTPFileDownloader>();
    FHTTPFileDownloader->OnDownloadProgress = [this](TzelHTTPFileDownloader&, int32_t BytestoSend, int32_t BytesSent) {
        DoDownloadProgress(BytestoSend, BytesSent);
    };
    FHTTPFileDownloader->OnProxyNote = [this](TzelHttpSend&, const std::string& Note) {
        WriteLog(FzelLogFileName, Note);
    };
    if (!Application().MainForm) Application().MainForm = this;
    Application().Events = &ApplicationEvents1;
}

void TzelCustUpdaterDialogForm::FormDestroy() {
    // The closing step may fail (a local INI that cannot be written just now); that is
    // reported and must not take the program down on its way out.
    try {
        if (FLocalIniList) Finish();
    } catch (const std::exception& e) {
        const std::string text = MaskUrlSecrets("Exception:  " + std::string(e.what()));
        std::fprintf(stderr, "%s\n", text.c_str());
        FLastRun.NoteUpdateError(e.what());
        try {
            WriteLog(FzelLogFileName, text);
        } catch (const std::exception&) {
        }
    }
    if (FLastRun.Started() && FParamList) WriteLastRun();
    FHTTPFileDownloader.reset();
    FParamList.reset();
    FLocalIniList.reset();
    FServerIniList.reset();
}

void TzelCustUpdaterDialogForm::FormShow() { ReportStatus("Connecting to update server...", true, false, false); }

// ---- Life cycle ----------------------------------------------------------------------

void TzelCustUpdaterDialogForm::InitializeIt() {
    SetProgName(ProgramNameOf(ExtractFileName(Application().ExeName)));
    SetLogFileName(ProgramFolder() + FProgName + ".log");

    FParamList->Clear();
    for (const auto& p : Application().Params) FParamList->Add(p);
    FDebug = FParamList->IndexOf("DEBUG") >= 0;
    FVisualDebug = FParamList->IndexOf("VISUALDEBUG") >= 0;
    ReportStatus("Loaded Params as " + FParamList->Text(), false, false, false);

    const std::string localIni = ProgramFolder() + FProgName + "_Local.ini";
    if (FileExists(localIni)) {
        LoadLocalIniFile(localIni);
        ReportStatus("Loaded inifile from " + localIni + " as " + FLocalIniList->Text(), false, false, false);
    } else {
        ReportStatus("No inifile at" + localIni + " as " + FLocalIniList->Text(), false, false, false);
    }
    FShowForms = FLocalIniList->IndexOfName("CONSOLE") < 0;
    ApplyTrustSettings();
    SetCurrentStep(1);
    FContinueUpdating = true;
}

void TzelCustUpdaterDialogForm::Start() {
    FLastRun.NoteStarted();
    try {
        InitializeIt();
        // Waits for a program or a socket keep the window alive, and a stop asked for in
        // one of them ends a transfer at once; unattended, they simply wait.
        const TScopedWaitHook waits(FShowForms ? TWaitHook([this] {
            Runtime().ProcessMessagesWhileWaiting();
            return FStopping;
        })
                                               : TWaitHook());
        // A proxy wanting a password nothing keeps: only someone at the screen can give it.
        const TScopedProxyPrompt prompt(
            FShowForms ? TProxyPrompt([](const std::string& Proxy, const std::string& Scheme, TProxyCredentials& Out) {
                return AskForCredentials(Proxy, "The proxy " + Proxy + " asks who you are (" + Scheme + ").", Out.User,
                                         Out.Password);
            })
                       : TProxyPrompt(),
            [](const std::string& Proxy, bool Accepted) { ConfirmCredentials(Proxy, Accepted); });
        if (FShowForms) {
            EnterVisualMode();
            Application().ShowMainForm = true;
            Show();
            FormShow();
            VisualUpdatePrepare();
            if (!FStopping) Runtime().RunMessageLoop(*this);
        } else {
            NonVisualUpdatePrepare();
            UpdateNow();
        }
    } catch (const std::exception& e) {
        FLastRun.NoteStartError(e.what());
        ReportEvent(TEventType::Error, e.what());
        try {
            WriteLog(FzelLogFileName, "Exception:  " + std::string(e.what()));
        } catch (const std::exception&) {
            // The original error is the one to report; a log that cannot be written adds nothing.
        }
        throw;
    }
}

void TzelCustUpdaterDialogForm::UpdateNow() {
    // Cleared however UpdateNow is left, also by an error raised while reporting an error,
    // or Proceed would stay refused for the rest of the run.
    const ScopeExit notUpdating([this] { FUpdating = false; });
    FUpdating = true;
    try {
        if (!FStopping) {
            DownloadAndLoadServerIni();
            if (!FStopping) {
                DownloadAndRunFiles();
                if (!FStopping) {
                    Finish();
                    FLastRun.NoteCompleted();
                }
            }
        }
    } catch (const std::exception& e) {
        if (FStopping) {
            // Stop or Close ended a transfer in the middle: the user's own doing, not a fault
            // of the network, so no error box and no error that would keep the local INI unsaved.
            ReportStatus(kUserStopText, true, true, false);
        } else {
            SetErrorUpdating(true);
            const std::string text = MaskUrlSecrets("Update error: " + std::string(e.what()));
            FLastRun.NoteUpdateError(e.what());
            ReportEvent(TEventType::Error, text);
            Runtime().ShowError(text);
            ReportStatus(text, true, true, false);
            ProceedBitBtn.Visible = false;
        }
    }
    ShowUpdateEnd(!FErrorUpdating && !FStopping);
}

void TzelCustUpdaterDialogForm::ShowUpdateEnd(bool Completed) {
    ProgressBar.Position = Completed ? ProgressBar.Max : ProgressBar.Min;
}

void TzelCustUpdaterDialogForm::Finish() {
    ReportStatus(GetStatusMessage(stFinished, "", "", nullptr), true, true, false);
    if (!FErrorUpdating) MergeAndSaveLocalIniFile();
}

void TzelCustUpdaterDialogForm::SetErrorUpdating(bool Value) { FErrorUpdating = Value; }

// ---- The run's record ----------------------------------------------------------------

namespace {
int& ExitCodeOfLastRun() {
    static int code = 0;
    return code;
}
}  // namespace

int engine::LastRunExitCode() { return ExitCodeOfLastRun(); }

void TzelCustUpdaterDialogForm::NoteAlreadyRunning(const std::string& Text) {
    // The lock may be found before Start: the record is still written when the form goes.
    if (!FLastRun.Started()) FLastRun.NoteStarted();
    FLastRun.NoteAlreadyRunning(Text);
    ReportEvent(TEventType::Warning, Text);
}

int TzelCustUpdaterDialogForm::ExitCode() const {
    // The command line itself, as the parameter list is filled from it: another updater's lock
    // may end a run before that list is filled.
    bool asked = false;
    for (const auto& p : Application().Params) asked |= SameText(p, "EXITCODES");
    return ExitCodeFor(FLastRun.Outcome(), FLastRun.UploadFailed(), asked);
}

void TzelCustUpdaterDialogForm::ReportEvent(TEventType Type, const std::string& Text) {
    ReportSystemEvent(Type, FProgName, ShownText(MaskUrlSecrets(Text)));
}

// Written however the run went, beside the old record and renamed over it, so that a second
// updater that found the folder taken still leaves its own truth and never half a file.
void TzelCustUpdaterDialogForm::WriteLastRun() {
    FLastRun.NoteStopping(FStopping);
    const int code = ExitCode();
    ExitCodeOfLastRun() = code;
    const TRunOutcome outcome = FLastRun.Outcome();
    std::string text = std::string("The run ended: ") + OutcomeName(outcome) + ".";
    if (!FLastRun.Error().empty()) text += " " + FLastRun.Error();
    ReportEvent(EventTypeFor(outcome, FLastRun.UploadFailed()), text);
    const std::string name = FProgName.empty() ? ProgramNameOf(ExtractFileName(Application().ExeName)) : FProgName;
    const std::string file = ProgramFolder() + name + kLastRunSuffix;
    try {
        WriteFileAtomically(file, Utf8ToAnsi(FLastRun.IniText(code)));
    } catch (const std::exception& e) {
        const std::string failure = "The last-run record could not be written: " + std::string(e.what());
        std::fprintf(stderr, "%s\n", failure.c_str());
        ReportEvent(TEventType::Error, failure);
    }
}
