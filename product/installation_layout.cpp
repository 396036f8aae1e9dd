// Start-up of the product form and the product's installation around the updater: the
// product root, the installation settings, and the params file handed to the script updater.
#include <algorithm>

#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/native_path.h"
#include "platform/os_services.h"
#include "platform/strconv.h"
#include "product/brinquet_express_update_dialog.h"
#include "ui/application.h"

using namespace platform;
using namespace product;
using namespace ui;

namespace {
const char kInstallIni[] = "Admin/Client/install.ini";
const char kLocalNumberMissing[] = "LocalNumber not found in existing Admin\\Client\\install.ini";

// A program folder comes with either separator: "/" here, "\\" from Windows' own calls.
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string WithDelimiter(std::string path) {
    if (path.empty() || !IsSeparator(path.back())) path += '/';
    return path;
}
}  // namespace

namespace product {

std::string ProductRootOf(const std::string& ProgramFolder) {
    static const std::string folder = "updates";
    const std::string lower = LowerCase(ProgramFolder);
    for (size_t at = lower.find(folder); at != std::string::npos; at = lower.find(folder, at + 1)) {
        const size_t after = at + folder.size();
        // The separator before stays, so the root ends in the one the folder uses.
        if (at > 0 && IsSeparator(lower[at - 1]) && (after == lower.size() || IsSeparator(lower[after])))
            return ProgramFolder.substr(0, at) + ProgramFolder.substr(std::min(after + 1, lower.size()));
    }
    return WithDelimiter(ProgramFolder);
}

std::string ParamsFileNameOf(const std::string& Executable) {
    const std::string folder = ExtractFilePath(Executable), name = ExtractFileName(Executable);
    const size_t dot = name.rfind('.');
    return folder + (dot == std::string::npos ? name : name.substr(0, dot)) + "Params.ini";
}

}  // namespace product

void TzelBrinquetUpdaterDialogForm::InitializeIt() {
    TzelCustUpdaterDialogForm::InitializeIt();
    FUpdateSucceeded = false;
    // The product's part of the record, as it stands until the script updater comes up.
    FLastRun.SetProductValue("ScriptUpdaterDue", "FALSE");
    FLastRun.SetProductValue("ScriptUpdaterRan", "FALSE");
    FLastRun.NoteUpload(engine::TUploadState::NotDue);
    FWorkingDir = ProgramFolder();
    if (!OSServices().SetCurrentDir(FWorkingDir))
        throw EUpdaterError("Unable to set working directory to " + FWorkingDir);
    FAdminDir = "../Admin/";
}

void TzelBrinquetUpdaterDialogForm::MergeAndSaveLocalIniFile() {
    TzelCustUpdaterDialogForm::MergeAndSaveLocalIniFile();
}

std::string TzelBrinquetUpdaterDialogForm::GetProductRoot() {
    return ProductRootOf(OSServices().ExpandUNCFileName(ProgramFolder()));
}

std::string TzelBrinquetUpdaterDialogForm::GetParamsFileName() { return ParamsFileNameOf(Application().ExeName); }

int TzelBrinquetUpdaterDialogForm::ReadLocalNumber() {
    const int n = TIniFile(GetProductRoot() + NativePath(kInstallIni)).ReadInteger("Settings", "LocalNumber", 0);
    if (n == 0) throw EUpdaterError(kLocalNumberMissing);
    return n;
}

std::string TzelBrinquetUpdaterDialogForm::GetTargetExeName() {
    const std::string name = FServerIniList->Values("FILE1TARGET");
    if (name.empty()) return kDefaultTargetExe;
    // A file of the application folder, never a way out of it to another program's version.
    const std::string problem = serverini::kConfigProblem + std::string("FILE1TARGET ");
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            throw EUpdaterError(problem + "holds a control character, which no file name may hold.");
    if (name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos)
        throw EUpdaterError(problem + "names \"" + name + "\", which is not a file name of the application folder.");
    return name;
}

std::string TzelBrinquetUpdaterDialogForm::GetOldFileVersion() {
    const std::string path = GetProductRoot() + NativePath("Admin/" + GetTargetExeName());
    if (!FileExists(path)) return "0.0.0.0";
    uint16_t major, minor, release, build;
    std::string text;
    ReadFileVersion(path, major, minor, release, build, text);
    return text;
}

void TzelBrinquetUpdaterDialogForm::GetUpdateReadiness(std::string& Message, std::string& Ready) {
    Ready = "1";
    Message = "Installation Ready";
}

void TzelBrinquetUpdaterDialogForm::WriteParamsFile(const std::string& FileName) {
    // One key at a time, each on disk before the next is worked out: a missing local number
    // leaves the keys after it as the file held them.
    TIniFile params(FileName);
    GetTargetExeName();  // a FILE1TARGET that is refused leaves the file as it was
    const std::string root = GetProductRoot();
    params.WriteString(kParamsSection, "BrinquetRoot", root);
    params.WriteString(kParamsSection, "Network_Install", "1");
    params.WriteString(kParamsSection, "Local_Num", std::to_string(ReadLocalNumber()));
    params.WriteString(kParamsSection, "Applocation", root + NativePath("Admin/" + GetTargetExeName()));
    params.WriteString(kParamsSection, "Old_File_Version", GetOldFileVersion());
    std::string message, ready;
    GetUpdateReadiness(message, ready);
    params.WriteString(kParamsSection, "Update_Ready", ready);
    params.WriteString(kParamsSection, "Installer_Message", message);
}

std::string TzelBrinquetUpdaterDialogForm::ReadParamsValue(const std::string& Key) {
    try {
        if (!CheckUpdateStarter()) return "";
        return TIniFile(GetParamsFileName()).ReadString(kParamsSection, Key, "");
    } catch (const std::exception&) {
        return "";
    }
}
