#include "app/one_updater.h"

#include <cstdio>

#include "server_ini/file_names.h"
#include "engine/last_run.h"
#include "platform/codepage.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"
#include "platform/string_list.h"
#include "ui/application.h"
#include "ui/runtime.h"

using namespace platform;
using namespace ui;

namespace app {

namespace {
// Unattended when the local INI holds CONSOLE, as the form itself decides later.
bool Unattended() {
    const std::string exe = ExtractFileName(Application().ExeName);
    const std::string localIni = ProgramFolder() + serverini::ProgramNameOf(exe) + "_Local.ini";
    try {
        TStringList list;
        if (FileExists(localIni)) list.LoadFromFile(localIni);
        return list.IndexOfName("CONSOLE") >= 0;
    } catch (const std::exception&) {
        return false;
    }
}
}  // namespace

TFolderLock LockProgramFolder() { return LockFolder(ProgramFolder()); }

void SayAlreadyRunning() {
    if (!Unattended()) {
        try {
            EnterVisualMode();
            Runtime().ShowMessage(kAlreadyRunningText);
            return;
        } catch (const std::exception&) {
            // No window to be had: the line goes to standard error instead.
        }
    }
    std::fprintf(stderr, "%s: %s\n", Application().Title.c_str(), kAlreadyRunningText);
}

int RecordAlreadyRunning() {
    engine::TLastRun record;
    record.NoteStarted();
    record.NoteAlreadyRunning(kAlreadyRunningText);
    bool asked = false;
    for (const auto& p : Application().Params) asked |= SameText(p, "EXITCODES");
    const int code = asked ? engine::ExitCodeFor(engine::TRunOutcome::AlreadyRunning, false, true) : 1;
    const std::string name = serverini::ProgramNameOf(ExtractFileName(Application().ExeName));
    ReportSystemEvent(engine::EventTypeFor(engine::TRunOutcome::AlreadyRunning, false), name,
                      std::string("The run ended: AlreadyRunning. ") + kAlreadyRunningText);
    try {
        WriteFileAtomically(ProgramFolder() + name + engine::kLastRunSuffix, Utf8ToAnsi(record.IniText(code)));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: The last-run record could not be written: %s\n", Application().Title.c_str(),
                     e.what());
    }
    return code;
}

}  // namespace app
