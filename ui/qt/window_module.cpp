// The entry of the window module (see ui/window_module.h).
#include <QApplication>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <unistd.h>

#include "ui/application.h"
#include "ui/qt/qt_runtime.h"
#include "ui/runtime.h"
#include "ui/window_module.h"

namespace {
// What Qt says while it starts; it is shown only if Qt starts.
QStringList* g_held = nullptr;

// Qt ends the process with an abort (and a core) when it cannot reach the display; the
// updater ends it with one clear line and exit code 1 instead.
void HoldOrFail(QtMsgType Type, const QMessageLogContext&, const QString& Message) {
    if (Type != QtFatalMsg) {
        if (g_held) g_held->append(Message);
        return;
    }
    QString reason = g_held && !g_held->isEmpty() ? g_held->join("; ") : Message.section('\n', 0, 0);
    reason.replace('\n', ' ');
    const std::string line =
        Application().Title + ": " + NoWindowText("the window system could not start (" + reason.toStdString() + ")");
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    ::_exit(1);
}
}  // namespace

extern "C" __attribute__((visibility("default"))) TWindowRuntime* ZelCreateWindowRuntime(int* Argc, char** Argv,
                                                                                         std::string* Error) {
    try {
        static TQtRuntime* runtime = [&] {
            QStringList held;
            g_held = &held;
            const QtMessageHandler previous = qInstallMessageHandler(&HoldOrFail);
            auto* made = new TQtRuntime(*Argc, Argv);
            qInstallMessageHandler(previous);
            g_held = nullptr;
            for (const QString& m : held) std::fprintf(stderr, "%s\n", m.toLocal8Bit().constData());
            return made;
        }();
        return runtime;
    } catch (const std::exception& e) {
        if (Error) *Error = e.what();
        return nullptr;
    }
}
