#include "ui/qt/screenshot_plan.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace ui::qt {

namespace {
QString Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? QString::fromLocal8Bit(v) : QString();
}
}  // namespace

TScreenshotPlan TScreenshotPlan::FromEnvironment() {
    TScreenshotPlan plan;
    plan.Dir = Env("ZEL_SCREENSHOT_DIR");
    if (plan.Dir.isEmpty()) return plan;
    const QString during = Env("ZEL_SCREENSHOT_DURING");
    const int colon = during.lastIndexOf(':');
    if (colon > 0) {
        plan.During = during.left(colon);
        plan.DuringAt = during.mid(colon + 1).toInt();
    }
    const QString hidden = Env("ZEL_SCREENSHOT_HIDDEN");
    const int hc = hidden.indexOf(':');
    if (hc > 0) {
        plan.Hidden = hidden.left(hc);
        plan.HiddenControl = hidden.mid(hc + 1).toStdString();
    }
    for (const QString& item : Env("ZEL_SCREENSHOT_STEPS").split(' ', Qt::SkipEmptyParts)) {
        const int c = item.indexOf(':');
        plan.Steps.push_back(c < 0 ? Step{item, {}} : Step{item.left(c), item.mid(c + 1).toStdString()});
    }
    return plan;
}

bool TScreenshotPlan::Save(QWidget& Window, const QString& Name) const {
    QDir().mkpath(Dir);
    const QString path = QDir(Dir).filePath(Name + ".png");
    const bool ok = Window.grab().save(path, "PNG");
    std::fprintf(stderr, "screenshot %s: %s\n", ok ? "saved" : "NOT saved", path.toLocal8Bit().constData());
    return ok;
}

}  // namespace ui::qt
