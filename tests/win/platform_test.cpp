// The platform layer on Windows: the process runner, the shell, the ANSI code page, version
// resources through the system against the portable reader, the elevation probe, files with
// wide names and the network-drive expansion.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/event_log.h"
#include "platform/file_utils.h"
#include "platform/file_version.h"
#include "platform/ini_file.h"
#include "platform/os_services.h"
#include "platform/pe_version.h"
#include "platform/update_utils.h"
#include "platform/wide_text_win.h"
#include "tests/platform/pe_image_builder.h"
#include "tests/win/win_test_util.h"

using namespace platform;

namespace {
const std::string kChild = ZEL_WIN_CHILD;

std::string VersionText(const std::string& File) {
    uint16_t a, b, c, d;
    std::string text;
    ReadFileVersion(File, a, b, c, d, text);
    return text;
}

TEST(WinProcessRunner, ReturnsTheProgramsExitCodeWhateverItIs) {
    // 259 is STILL_ACTIVE: the end must be seen by the process handle, not by the code.
    for (int code : {0, 1, 255, 259, 260, 300, 65999, 66000}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(RunAndWait(kChild, " exit " + std::to_string(code), 10000, ""), code);
    }
    EXPECT_EQ(RunAndWait(kChild, " sleep 300 7", 0, ""), 7) << "no limit";
}

TEST(WinProcessRunner, PassesTheCommandLineToTheSystem) {
    TWinTempDir dir;
    const std::string out = Narrow(dir.WPath()) + "args.txt";
    ASSERT_EQ(RunAndWait(kChild, " write " + out + " /s \"two words\"", 10000, ""), 0);
    EXPECT_EQ(ReadFileBytes(out), "/s|two words");
    // The arguments as the updater reads them: wide, so names beyond the ANSI code page arrive.
    const std::string wide =
        "SERVERPATH=http://host/caf\xC3\xA9/ \"C:\\Brinquet \xC5\x81\xC3\xB3"
        "d\xC5\xBA\\Admin\"";
    const std::string wideOut = Narrow(dir.WPath()) + "wide.txt";
    ASSERT_EQ(RunAndWait(kChild, " args " + wideOut + " " + wide, 10000, ""), 0);
    EXPECT_EQ(ReadFileBytes(wideOut),
              "SERVERPATH=http://host/caf\xC3\xA9/|C:\\Brinquet \xC5\x81\xC3\xB3"
              "d\xC5\xBA\\Admin");
}

TEST(WinProcessRunner, EndsAProgramAtItsTimeOut) {
    const std::string cmd = kChild + " sleep 20000";
    const auto start = std::chrono::steady_clock::now();
    try {
        RunAndWait(kChild, " sleep 20000", 300, "");
        FAIL() << "no time-out";
    } catch (const EUpdaterError& e) {
        EXPECT_EQ(e.Message(), cmd + " exceeded timeout setting and has been closed.");
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(took.count(), 300);
    EXPECT_LT(took.count(), 5000);
}

TEST(WinProcessRunner, AMissingProgramRaisesTheSystemsText) {
    const std::string cmd = "C:\\no\\such\\program.exe /s";
    try {
        RunAndWait("C:\\no\\such\\program.exe", " /s", 1000, "");
        FAIL() << "started";
    } catch (const EOSError& e) {
        EXPECT_EQ(
            e.Message().rfind(
                "A problem occurred when trying to run " + cmd + "\rThe exception was: " + "System Error.  Code: ", 0),
            0u)
            << e.Message();
        EXPECT_TRUE(e.ErrorCode() == ERROR_FILE_NOT_FOUND || e.ErrorCode() == ERROR_PATH_NOT_FOUND) << e.ErrorCode();
        EXPECT_GT(e.Message().size(), e.Message().find("\r\n") + 2) << "the system's text follows";
    }
}

TEST(WinShell, OpensAProgramWithItsParameters) {
    TWinTempDir dir;
    const std::string out = Narrow(dir.WPath()) + "opened.txt";
    EXPECT_GT(OSServices().ShellOpen(kChild, "write " + out + " /s", ""), 32);
    ASSERT_TRUE(WaitForFile(out, 10000));
    EXPECT_EQ(ReadFileBytes(out), "/s");
}

TEST(WinShell, AMissingFileFailsWithTheSystemsText) {
    const int r = OSServices().ShellOpen("C:\\no\\such\\file.exe", "", "");
    EXPECT_LE(r, 32);
    EXPECT_FALSE(OSServices().LastErrorText().empty());
}

TEST(WinCodePage, ConvertsThroughTheSystemsAnsiCodePage) {
    ASSERT_EQ(GetACP(), 1252u) << "Wine's default for an English locale";
    struct Case {
        const char* utf8;
        const char* ansi;
    } cases[] = {
        {"Brinquet\xC2\xAE Express", "Brinquet\xAE Express"},
        {"\xE2\x82\xAC 5", "\x80 5"},  // the euro sign sits at 0x80
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\xFC\xDF"
         "e"},  // umlaut and sharp s
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
        EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
    }
    EXPECT_EQ(Utf8ToAnsi("\xCE\xA9"), "?") << "a character the code page lacks";
}

// The versions Windows' API reads against the portable reader used on Linux, on the same files.
TEST(WinVersions, TheSystemAndThePortableReaderAgree) {
    std::vector<std::string> files{kChild};
    for (const char* dir : {ZEL_PE_FIXTURES, ZEL_PE_CORPUS})
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            const std::string name = e.path().string();
            if (name.size() > 4 && (name.ends_with(".exe") || name.ends_with(".dll") || name.ends_with(".txt")))
                files.push_back(name);
        }
    ASSERT_GT(files.size(), 20u);
    int withVersion = 0;
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        TPeFileVersion portable, system;
        const bool p = ReadPeFileVersion(f, portable);
        const bool s = ReadSystemFileVersion(f, system);
        EXPECT_EQ(s, p);
        if (!p || !s) continue;
        ++withVersion;
        EXPECT_EQ(system.FileVersionMS >> 16, portable.FileVersionMS >> 16) << "major";
        // Files with the version in two languages: the system takes the workstation's
        // language (US English here), the portable reader the first one; the builds differ.
        if (f.find("two_languages") == std::string::npos) {
            EXPECT_EQ(system.FileVersionMS, portable.FileVersionMS);
            EXPECT_EQ(system.FileVersionLS, portable.FileVersionLS);
        }
    }
    EXPECT_GT(withVersion, 8);
    EXPECT_EQ(VersionText(kChild), "4.3.2.1") << "windres's version resource";
}

TEST(WinVersions, BrokenAndMissingFilesReadAsZero) {
    // broken_data_beyond_end.exe makes Wine's own reader fault: it must never get it.
    for (const std::string& f : {std::string(ZEL_PE_FIXTURES) + "/broken_data_beyond_end.exe",
                                 std::string(ZEL_PE_FIXTURES) + "/broken_version_beyond_raw_data.exe",
                                 std::string("C:\\no\\such\\file.exe")}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(VersionText(f), "0.0.0.0");
    }
}

// Windows looks the version resource up as VS_VERSION_INFO (name 1); a named entry sorts
// before it, and the portable reader, which takes the first name, finds no version there.
TEST(WinVersions, TheSystemReadsAVersionThePortableReaderMisses) {
    pe::Resource named = pe::VersionResource(0x00050006, 0x00070008);
    named.NameText = u"NOTES";
    named.Data = "not a version block";
    pe::SimpleImage image;
    image.Resources = {named, pe::VersionResource(0x00050006, 0x00070008)};
    TWinTempDir dir;
    const std::string file = Narrow(dir.WPath()) + "named_first.exe";
    WriteFileAtomically(file, pe::BuildSimple(image));
    TPeFileVersion portable;
    ASSERT_FALSE(ReadPeFileVersion(file, portable)) << "the case needs a file only the system reads";
    EXPECT_EQ(VersionText(file), "5.6.7.8");
}

// The elevation probe reads HKLM\...\Policies\System\EnableLUA of this test's own Wine prefix.
class WinProbe : public ::testing::Test {
protected:
    static constexpr const wchar_t* kKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        const DWORD zero = 0;  // Wine's own setting
        RegSetValueExW(key_, L"EnableLUA", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof zero);
        RegCloseKey(key_);
    }
    HKEY key_ = nullptr;
};

TEST_F(WinProbe, ReadsEnableLUAAndRaisesForAMissingOrWrongValue) {
    struct Case {
        const char* name;
        DWORD type;  // REG_NONE: the value is deleted
        std::wstring data;
        DWORD number;
        int expect;  // 1 true, 0 false, -1 raises
        const char* message;
    } cases[] = {
        {"on", REG_DWORD, L"", 1, 1, ""},
        {"off", REG_DWORD, L"", 0, 0, ""},
        {"two", REG_DWORD, L"", 2, 0, ""},
        {"missing", REG_NONE, L"", 0, -1, "Failed to get data for 'EnableLUA'"},
        {"text", REG_SZ, L"1", 0, -1, "Invalid data type for 'EnableLUA'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.type == REG_NONE)
            RegDeleteValueW(key_, L"EnableLUA");
        else if (c.type == REG_DWORD)
            RegSetValueExW(key_, L"EnableLUA", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&c.number), sizeof c.number);
        else
            RegSetValueExW(key_, L"EnableLUA", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.data.c_str()),
                           DWORD((c.data.size() + 1) * sizeof(wchar_t)));
        if (c.expect < 0) {
            try {
                IsUacEnabled();
                ADD_FAILURE() << "no error";
            } catch (const ERegistryError& e) {
                EXPECT_EQ(e.Message(), c.message);
            }
        } else {
            EXPECT_EQ(IsUacEnabled(), c.expect == 1);
        }
    }
}

TEST(WinFiles, WideNamesAtomicWritesAndRenames) {
    TWinTempDir dir;
    const std::string folder = Narrow(dir.WPath()) + "Brinquet\xC2\xAE \xCE\xA9mega\\";
    ASSERT_TRUE(CreateDirectoryW(Widen(folder).c_str(), nullptr));
    const std::string ini = folder + "\xC3\x84nderung.ini";
    WriteFileAtomically(ini, "A=1\r\n\x1A\r\n");
    EXPECT_TRUE(FileExists(ini));
    EXPECT_FALSE(FileExists(folder)) << "a folder is no file";
    EXPECT_EQ(ReadFileBytes(ini), "A=1\r\n\x1A\r\n") << "bytes as written, no text mode";
    WriteFileAtomically(ini, "B=2\r\n");
    AppendToFile(ini, "C=3\r\n");
    EXPECT_EQ(ReadFileBytes(ini), "B=2\r\nC=3\r\n");
    EXPECT_TRUE(GetFileAttributesW((dir.WPath() + L"Brinquet\u00AE \u03A9mega\\\u00C4nderung.ini").c_str()) !=
                INVALID_FILE_ATTRIBUTES)
        << "UTF-8 inside, UTF-16 at the system";

    const std::string other = folder + "other.ini";
    WriteFileAtomically(other, "X");
    EXPECT_FALSE(RenameFile(other, ini)) << "an existing target is not replaced";
    EXPECT_TRUE(DeleteFileIfExists(ini));
    EXPECT_TRUE(RenameFile(other, ini));
    EXPECT_EQ(ReadFileBytes(ini), "X");
    EXPECT_FALSE(DeleteFileIfExists(other));
    try {
        ReadFileBytes(other);
        ADD_FAILURE() << "read a missing file";
    } catch (const EUpdaterError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot open file \"" + other + "\". ", 0), 0u) << e.Message();
    }

    EXPECT_TRUE(OSServices().SetCurrentDir(folder));
    EXPECT_EQ(OSServices().GetCurrentDir() + "\\", folder);
    OSServices().SetCurrentDir("C:\\");
}

// A root the ANSI code page cannot write reaches the update program whole: the params file is
// then UTF-16, which Windows' profile functions read.
TEST(WinFiles, AParamsFileBeyondTheCodePageIsReadByTheProfileFunctions) {
    TWinTempDir dir;
    const std::string file = Narrow(dir.WPath()) + "Params.ini";
    const std::string root =
        "C:\\Brinquet \xC5\x81\xC3\xB3"
        "d\xC5\xBA\\";
    TIniFile params(file);
    params.WriteString("Settings", "BrinquetRoot", root);
    params.WriteString("Settings", "Local_Num", "42");
    wchar_t value[MAX_PATH] = {};
    GetPrivateProfileStringW(L"Settings", L"BrinquetRoot", L"", value, MAX_PATH, Widen(file).c_str());
    EXPECT_EQ(Narrow(value), root);
    GetPrivateProfileStringW(L"Settings", L"Local_Num", L"", value, MAX_PATH, Widen(file).c_str());
    EXPECT_EQ(Narrow(value), "42");
}

TEST(WinFiles, PathsSplitAtEitherSeparator) {
    EXPECT_EQ(ExtractFilePath("C:\\Program Files\\Brinquet\\upd.exe"), "C:\\Program Files\\Brinquet\\");
    EXPECT_EQ(ExtractFileName("C:\\Program Files\\Brinquet\\upd.exe"), "upd.exe");
    EXPECT_EQ(ExtractFilePath("C:/a/b.txt"), "C:/a/");
    EXPECT_EQ(ExtractFilePath("b.txt"), "");
    const std::string exe = ExecutableFileName();
    EXPECT_EQ(ExtractFileName(exe), "win_platform_tests.exe") << exe;
    // A local path has no UNC form and comes back as it was.
    EXPECT_EQ(OSServices().ExpandUNCFileName("C:\\windows\\win.ini"), "C:\\windows\\win.ini");
}
// What Event Viewer cannot show here is shown by a real Windows machine; this proves the calls
// and their arguments are accepted.
TEST(WinEventLog, ReportsEachTypeThroughTheSystem) {
    for (const TEventType type : {TEventType::Information, TEventType::Warning, TEventType::Error})
        EXPECT_TRUE(SystemEventSink(type, "BrinquetExpressUpdater", "The run ended: Updated. Caf\xC3\xA9"))
            << int(type);
}

}  // namespace
