// The demo installation's programs on Windows: one source built under several names, each a
// real program with its own version resource (demo_program.rc), acting on its own name.
//   BrinquetExpressScriptUpdater  the product's update program: reads the params file beside
//                                 it, notes what it found, installs itself as the new
//                                 application and ends with 300, which Windows counts as done
//   collect-info                  notes that it ran and ends with 0, a failure for a waited run
//   welcome                       notes that it ran (opened through the shell)
//   BQKORVEXP                     the installed application; does nothing
#include <windows.h>

#include <cctype>
#include <string>

namespace {
std::string OwnPath() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }

std::string LowerNameOf(const std::string& path) {
    std::string name = path.substr(path.find_last_of("\\/") + 1);
    name = name.substr(0, name.rfind('.'));
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool WriteText(const std::string& file, const std::string& text) {
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(h);
    return ok;
}

int ScriptUpdater(const std::string& self) {
    const std::string params = FolderOf(self) + "BrinquetExpressUpdaterParams.ini";
    std::string note = std::string("script updater ran with:") + GetCommandLineA() + "\r\n";
    std::string application;
    for (const char* key : {"BrinquetRoot", "Network_Install", "Local_Num", "Applocation", "Old_File_Version",
                            "Update_Ready", "Installer_Message"}) {
        char value[1024] = {};
        GetPrivateProfileStringA("Settings", key, "", value, sizeof value, params.c_str());
        note += std::string("  ") + key + "=" + value + "\r\n";
        if (std::string(key) == "Applocation") application = value;
    }
    if (!WriteText(FolderOf(self) + "script-updater.txt", note)) return 2;
    // Unreadable params leave the application alone: the updater must not count this as done.
    if (application.empty() || !CopyFileA(self.c_str(), application.c_str(), FALSE)) return 3;
    return 300;
}
}  // namespace

int main() {
    const std::string self = OwnPath(), name = LowerNameOf(self);
    if (name == "brinquetexpressscriptupdater") return ScriptUpdater(self);
    if (name == "collect-info" || name == "welcome") {
        if (!WriteText(FolderOf(self) + name + ".txt", name + " ran\r\n")) return 2;
        return 0;
    }
    return 0;
}
