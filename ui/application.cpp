#include "ui/application.h"

#include "platform/file_utils.h"

std::string ProductName = "Brinquet\xC2\xAE";

TApplication& Application() {
    static TApplication app;
    return app;
}

std::string ProgramFolder() { return ExtractFilePath(Application().ExeName); }
