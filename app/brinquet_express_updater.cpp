// The program entry: one updater form, Start, and an exit code.
#include <clocale>
#include <cstdio>
#include <exception>

#include "app/one_updater.h"
#include "app/self_update.h"
#include "app/visual_runtime.h"
#include "platform/file_utils.h"
#include "platform/program_arguments.h"
#include "platform/url_secrets.h"
#include "product/brinquet_express_update_dialog.h"
#include "ui/application.h"

using namespace app;
using namespace platform;
using namespace product;
using namespace ui;

int main(int argc, char** argv) {
    // Log time stamps follow the user's locale; nothing else may depend on it.
    std::setlocale(LC_TIME, "");
    ProductName = "Brinquet\xC2\xAE Express";
    TApplication& app = Application();
    app.ShowMainForm = false;
    app.Title = "Brinquet\xC2\xAE Express Updater";
    app.ExeName = ExecutableFileName();
    app.Params = ProgramArguments(argc, argv);
    RegisterVisualRuntime(argc, argv);

    // Held to the end of the process; a second updater in this folder writes nothing but its
    // last-run record.
    const TFolderLock lock = LockProgramFolder();
    if (lock.State() == TFolderLock::TState::HeldByOther) {
        SayAlreadyRunning();
        return RecordAlreadyRunning();
    }
    RemoveMovedAsideCopy();

    std::string error;
    {
        try {
            auto form = engine::CreateForm<TzelBrinquetUpdaterDialogForm>();
            try {
                form->Start();
            } catch (const std::exception& e) {
                error = e.what();
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
    }  // the form is destroyed here, its closing step included, before the error is shown
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s\n", app.Title.c_str(), platform::MaskUrlSecrets(error).c_str());
        return 1;
    }
    // 0 unless the run was asked for codes that tell its outcome (EXITCODES).
    return engine::LastRunExitCode();
}
