// The entry of the window module (see ui/window_module.h).
#include <dlfcn.h>
#include <unistd.h>
#include <QApplication>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/application.h"
#include "ui/qt/qt_runtime.h"
#include "ui/runtime.h"
#include "ui/window_module.h"

namespace ui::qt {

namespace {
// Qt's X11 platform aborts when the display named cannot be reached. Asked first, with the
// X library Qt would use itself, an unreachable display is an error the updater reports
// and logs like any other. True when the display answers, or when Qt will not use X11.
bool DisplayAnswers(std::string& Error) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((platform && *platform && std::strncmp(platform, "xcb", 3) != 0) || !display || !*display) return true;
    if (wayland && *wayland && !platform) return true;  // Qt may well choose Wayland
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb) return true;  // Qt finds out and says why
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    bool answers = true;
    if (connect && hasError && disconnect) {
        void* c = connect(display, nullptr);
        answers = c && hasError(c) == 0;
        if (c) disconnect(c);
    }
    ::dlclose(xcb);
    if (!answers) Error = "the display " + std::string(display) + " cannot be reached";
    return answers;
}

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

// C linkage: the loader finds it by its plain name, namespace or not.
extern "C" __attribute__((visibility("default"))) TWindowRuntime* ZelCreateWindowRuntime(int* Argc, char** Argv,
                                                                                         std::string* Error) {
    try {
        static bool reached = false;
        if (!reached && !DisplayAnswers(*Error)) return nullptr;
        reached = true;
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
        *Error = e.what();
        return nullptr;
    }
}

}  // namespace ui::qt
