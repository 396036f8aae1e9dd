#include "ui/application.h"

#include "platform/file_utils.h"

using namespace platform;

namespace ui {

std::string ProductName = "Brinquet\xC2\xAE";

TApplication& Application() {
    static TApplication app;
    return app;
}

std::string ProgramFolder() { return ExtractFilePath(Application().ExeName); }

}  // namespace ui
