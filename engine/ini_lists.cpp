#include "engine/zel_cust_update_dialog.h"

#include "platform/strconv.h"
#include "ui/application.h"

using namespace engine;
using namespace platform;
using namespace ui;

std::string TzelCustUpdaterDialogForm::GetServerPath() {
    std::string path = FParamList->Values("SERVERPATH");
    if (path.empty()) path = FServerIniList->Values("SERVERPATH");
    if (path.empty()) path = FLocalIniList->Values("SERVERPATH");
    if (path.empty()) path = GetDefaultServerPath();
    return Trim(path);
}

std::string TzelCustUpdaterDialogForm::GetProgName() { return Trim(FProgName); }

std::string TzelCustUpdaterDialogForm::GetDefaultServerPath() {
    return "http://updates.zelsoftware.com/updates/zelupdates/";
}

void TzelCustUpdaterDialogForm::MergeServerValue(const std::string& AName) {
    if (FServerIniList->Empty()) return;
    const std::string serverValue = FServerIniList->Values(AName);
    if (serverValue.empty() || serverValue == FLocalIniList->Values(AName)) return;
    SetLocalIniValue(AName, serverValue);
}

void TzelCustUpdaterDialogForm::SetLocalIniValue(const std::string& AName, const std::string& Value) {
    const int i = FLocalIniList->IndexOfName(AName);
    if (i >= 0) FLocalIniList->Delete(i);
    FLocalIniList->Add(AName + "=" + Value);
}

void TzelCustUpdaterDialogForm::LoadLocalIniFile(const std::string& FileName) {
    try {
        FLocalIniList->LoadFromFile(FileName);
    } catch (...) {
        FLocalIniUnreadable = true;
        throw;
    }
}

void TzelCustUpdaterDialogForm::MergeAndSaveLocalIniFile() {
    // What could not be read is still the workstation's state: the empty list saved over it
    // would lose CONSOLE, SERVERPATH and every RAN marker.
    if (FLocalIniUnreadable) {
        WriteLog(FzelLogFileName, "The local INI file could not be read, so it is left as it was.");
        return;
    }
    if (!FUsingDefaultLocation) MergeServerValue("SERVERPATH");
    MergeServerValue("CONSOLE");
    AdoptNewPublicKey();
    FLocalIniList->SaveToFile(ProgramFolder() + GetProgName() + "_Local.ini");
}
