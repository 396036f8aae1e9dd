// The dialog's buttons and the download progress they watch.
#include "engine/zel_cust_update_dialog.h"
#include "http/zel_http_file_downloader.h"
#include "platform/strconv.h"
#include "ui/runtime.h"

using namespace engine;
using namespace platform;
using namespace ui;

void TzelCustUpdaterDialogForm::StopBitBtnClick() { SetStopping(true); }

void TzelCustUpdaterDialogForm::ProceedBitBtnClick(TComponent*) {
    // A click that arrives while an update runs (its progress events pump messages) is
    // refused: starting a second update inside the first would share the downloader in the
    // middle of its transfer. Once the running update has ended, Proceed works again.
    if (FUpdating) return;
    if (FStopping) SetCurrentStep(1);
    SetStopping(false);
    if (FCurrentStep == 1) UpdateNow();
}

void TzelCustUpdaterDialogForm::CloseBtnClick() {
    SetStopping(true);
    Close();
}

void TzelCustUpdaterDialogForm::DoDownloadProgress(int32_t BytestoSend, int32_t BytesSent) {
    if (!FShowForms) return;
    if (FStopping) {
        FHTTPFileDownloader->CancelDownload = true;
        FHTTPFileDownloader->Sock->CloseSocket();
        return;
    }
    if (BytestoSend != FOldProgMaxToSend) {
        ProgressBar.Max = BytestoSend;
        FOldProgMaxToSend = BytestoSend;
        if (BytestoSend < 1024)
            ReportStatus(Format("Downloading %d Bytes.", BytestoSend), true, false, false);
        else
            ReportStatus(Format("Downloading %d KBytes.", int((int64_t(BytestoSend) + 512) / 1024)), true, false,
                         false);
    }
    ProgressBar.Position = BytesSent;
    Repaint();
    Runtime().ProcessMessages();
}
