#pragma once
// Pictures of the main window for people (docs/), taken unattended under a virtual display.
// Read from the environment once, by the screenshot program only (never by the updater):
//   ZEL_SCREENSHOT_DIR     folder for the PNG files; nothing is taken without it
//   ZEL_SCREENSHOT_DURING  "name:N": the window at its Nth repaint (a download repaints
//                          at every progress event)
//   ZEL_SCREENSHOT_HIDDEN  "name:Control": the window at its first repaint while the control
//                          (the component's name) is hidden or has no height, as when a file
//                          run folds panels away
//   ZEL_SCREENSHOT_STEPS   "name:Button name:Button ...": once the message loop runs and is
//                          idle, take "name" and then press Button (the component's name),
//                          step after step; a step without a button only takes the picture
// Message boxes and modal forms answer themselves with their default button (screenshot_runtime).
#include <QString>
#include <string>
#include <vector>

class QWidget;

namespace ui::qt {

struct TScreenshotPlan {
    struct Step {
        QString Picture;
        std::string Button;
    };
    QString Dir;
    QString During;
    int DuringAt = 0;
    QString Hidden;
    std::string HiddenControl;
    std::vector<Step> Steps;

    static TScreenshotPlan FromEnvironment();
    bool Enabled() const { return !Dir.isEmpty(); }
    // Saves Window's client area as Dir/Name.png; false when it could not be written.
    bool Save(QWidget& Window, const QString& Name) const;
};

}  // namespace ui::qt
