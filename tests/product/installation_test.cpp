// The product root, the params file written before each update, and the update starter check.
#include <algorithm>
#include <filesystem>

#include "platform/errors.h"
#include "platform/ini_file.h"
#include "tests/product/product_fixture.h"
#include "ui/application.h"

using namespace engine;
using namespace platform;
using namespace product;
using namespace ui;

namespace {
using Installation = ProductTest;

TEST(ProductRoot, Rules) {
    struct Case {
        const char *folder, *root;
    } cases[] = {
        {"/opt/Brinquet/Updates/", "/opt/Brinquet/"},
        {"/opt/Brinquet/UPDATES/", "/opt/Brinquet/"},
        {"/opt/Brinquet/", "/opt/Brinquet/"},
        {"/Updates/", "/"},
        {"/Updates/Brinquet/Updates/", "/Brinquet/Updates/"},  // only the first
        // A folder that merely begins with "Updates" is another folder.
        {"/UpdatesOld/Brinquet/Updates/", "/UpdatesOld/Brinquet/"},
        {"/opt/UpdatesOld/", "/opt/UpdatesOld/"},
        {"/opt/Brinquet/Updates", "/opt/Brinquet/"},
        // Windows' own calls give backslashes.
        {"C:\\Brinquet\\Updates\\", "C:\\Brinquet\\"},
        {"\\\\server\\share\\Brinquet\\updates", "\\\\server\\share\\Brinquet\\"},
        {"C:\\UpdatesOld\\Brinquet\\Updates\\", "C:\\UpdatesOld\\Brinquet\\"},
        {"C:\\Brinquet\\", "C:\\Brinquet\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(ProductRootOf(c.folder), c.root) << c.folder;
}

TEST(ParamsFileName, Rules) {
    struct Case {
        const char *exe, *params;
    } cases[] = {
        {"/r/Updates/BrinquetExpressUpdater.exe", "/r/Updates/BrinquetExpressUpdaterParams.ini"},
        {"/r/Updates/Upd", "/r/Updates/UpdParams.ini"},
        {"/r/My.Dir/Upd", "/r/My.Dir/UpdParams.ini"},
        {"/r/Updates/My.Updater.exe", "/r/Updates/My.UpdaterParams.ini"},
    };
    for (const auto& c : cases) EXPECT_EQ(ParamsFileNameOf(c.exe), c.params) << c.exe;
}

const char kParams[] = "Updates/BrinquetExpressUpdaterParams.ini";

TEST_F(Installation, ParamsFileAfterAnUpdate) {
    struct Case {
        const char* what;
        const char* target;  // FILE1TARGET line, or nullptr
        const char* localNumber;
        const char* appFile;
        std::string app;  // bytes of the application, empty: none
        const char* localNum;
        const char* oldVersion;
    } cases[] = {
        {"named target with a version", "FILE1TARGET=App.exe", "LocalNumber=12", "Admin/App.exe", Versioned(5, 2, 0, 7),
         "12", "5.2.0.7"},
        {"no FILE1TARGET", nullptr, "LocalNumber=0x1F", "Admin/BQKORVEXP.exe", Versioned(1, 0, 0, 0), "31", "1.0.0.0"},
        {"application missing", "FILE1TARGET=", "LocalNumber=$10", "", "", "16", "0.0.0.0"},
        {"application without version", nullptr, "LocalNumber=-5", "Admin/BQKORVEXP.exe", "MZ not really", "-5",
         "0.0.0.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(Root() + "Admin");
        InstallSettings(c.localNumber);
        if (!c.app.empty()) Write(c.appFile, c.app);
        ServerIni(std::string(c.target ? c.target : "") + "\r\nFILECOUNT=0\r\n");
        LocalIni("CONSOLE=\r\n");
        EXPECT_EQ(Run(), "");
        const std::string target =
            c.target && std::string(c.target) == "FILE1TARGET=App.exe" ? "App.exe" : "BQKORVEXP.exe";
        EXPECT_EQ(Read(kParams), "[Settings]\r\nBrinquetRoot=" + Root() +
                                     "\r\nNetwork_Install=1\r\nLocal_Num=" + c.localNum + "\r\nApplocation=" + Root() +
                                     "Admin/" + target + "\r\nOld_File_Version=" + c.oldVersion +
                                     "\r\nUpdate_Ready=1\r\nInstaller_Message=Installation Ready\r\n");
        EXPECT_EQ(form->WorkingDir(), Program());
        EXPECT_EQ(form->AdminDir(), "../Admin/");
        EXPECT_EQ(std::filesystem::current_path().string() + "/", Program());
    }
}

TEST_F(Installation, AFileOneTargetOutsideTheApplicationFolderIsRefused) {
    const std::string problem = "Problem with configuration file.  FILE1TARGET ";
    const std::string notPlain = "\", which is not a file name of the application folder.";
    const struct {
        const char* what;
        std::string target, error;
    } cases[] = {
        {"parent folders", "..\\..\\..\\windows\\system32\\kernel32.dll",
         problem + "names \"..\\..\\..\\windows\\system32\\kernel32.dll" + notPlain},
        {"a slash", "../Updates/BrinquetExpressUpdater.exe",
         problem + "names \"../Updates/BrinquetExpressUpdater.exe" + notPlain},
        {"a drive", "C:kernel32.dll", problem + "names \"C:kernel32.dll" + notPlain},
        {"the parent itself", "..", problem + "names \".." + notPlain},
        {"a control character", "App\x1b.exe", problem + "holds a control character, which no file name may hold."},
    };
    InstallSettings("LocalNumber=12");
    Write("Admin/BQKORVEXP.exe", Versioned(5, 0, 2, 0));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Write(kParams, "[Settings]\r\nApplocation=kept\r\n");
        ServerIni("FILE1TARGET=" + c.target + "\r\nFILECOUNT=0\r\n");
        LocalIni("CONSOLE=\r\n");
        EXPECT_EQ(Run(), c.error);
        EXPECT_EQ(Read(kParams), "[Settings]\r\nApplocation=kept\r\n") << "nothing written";
    }
}

TEST_F(Installation, StartUpAndTheRootOnANetworkDrive) {
    InstallSettings("LocalNumber=5");
    ServerIni("FILECOUNT=0\r\n");
    LocalIni("CONSOLE=\r\n");
    os.chdirFails = true;
    EXPECT_EQ(Run(), "Unable to set working directory to " + Program());

    // Every path built from the root takes the drive's other name.
    os.chdirFails = false;
    TempDir share("zelshare");
    std::filesystem::create_directory_symlink(Root(), share.File("Brinquet"));
    os.uncFrom = Root();
    os.uncTo = share.File("Brinquet/");
    EXPECT_EQ(Run(), "");
    const TIniFile params(Program() + "BrinquetExpressUpdaterParams.ini");
    EXPECT_EQ(params.ReadString("Settings", "BrinquetRoot", ""), share.File("Brinquet/"));
    EXPECT_EQ(params.ReadString("Settings", "Applocation", ""), share.File("Brinquet/Admin/BQKORVEXP.exe"));
    EXPECT_EQ(params.ReadString("Settings", "Local_Num", ""), "5");
}

TEST_F(Installation, AMissingLocalNumberStopsTheWriteAndTheUpdate) {
    const std::string old =
        "[Settings]\r\nBrinquetRoot=/old/\r\nNetwork_Install=0\r\nLocal_Num=7\r\n"
        "Applocation=/old/a.exe\r\nOld_File_Version=1.1.1.1\r\nUpdate_Ready=1\r\n"
        "Installer_Message=old\r\n";
    const std::string expected = "[Settings]\r\nBrinquetRoot=" + Root() +
                                 "\r\nNetwork_Install=1\r\nLocal_Num=7\r\nApplocation=/old/a.exe\r\n"
                                 "Old_File_Version=1.1.1.1\r\nUpdate_Ready=1\r\nInstaller_Message=old\r\n";
    ServerIni("FILECOUNT=1\r\nFILE0NAME=never.sh\r\nFILE0VERSION=1.0.0.0\r\n");
    site.Put("/cfg/never.sh", "must not arrive");
    for (const char* settings :
         std::vector<const char*>{"LocalNumber=0", "LocalNumber=abc", "Other=1", "LocalNumber=", nullptr}) {
        SCOPED_TRACE(settings ? settings : "no install.ini");
        std::filesystem::remove(Root() + "Admin/Client/install.ini");
        if (settings) InstallSettings(settings);
        Write(kParams, old);
        LocalIni("CONSOLE=\r\n");
        EXPECT_EQ(Run(), "LocalNumber not found in existing Admin\\Client\\install.ini");
        EXPECT_EQ(Read(kParams), expected);
        EXPECT_FALSE(Exists("Updates/never.sh")) << "the file list was not processed";
        EXPECT_EQ(Read("Updates/BrinquetExpressUpdater_Local.ini"), "CONSOLE=\r\n" + Support());
    }
}

TEST_F(Installation, AProgramFileWithoutAnExtensionUsesItsOwnParamsFile) {
    Application().ExeName = Program() + "Upd";
    InstallSettings("LocalNumber=3");
    // The program name of a file without a dot is being settled elsewhere; serve both.
    site.Put("/cfg/.ini", "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=0\r\n");
    site.Put("/cfg/Upd.ini", "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=0\r\n");
    Write("Updates/Upd_Local.ini", "CONSOLE=\r\n");
    Write("Updates/_Local.ini", "CONSOLE=\r\n");
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(TIniFile(Program() + "UpdParams.ini").ReadString("Settings", "Local_Num", ""), "3");
}

TEST_F(Installation, UpdateStarterCheck) {
    struct Case {
        const char* what;
        std::string starter;  // empty: no starter file
        bool uac;
        bool ok;
        int probes;
    } cases[] = {
        {"2.2.2.5, elevation in force", Versioned(2, 2, 2, 5), true, true, 0},
        {"2.3.0.0", Versioned(2, 3, 0, 0), true, true, 0},
        {"2.2.2.4, elevation in force", Versioned(2, 2, 2, 4), true, false, 1},
        {"2.2.2.4, no elevation", Versioned(2, 2, 2, 4), false, true, 1},
        {"no version resource", "MZ", true, false, 1},
        {"missing, elevation in force", "", true, false, 1},
        {"missing, no elevation", "", false, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(Program() + kUpdateStarterName);
        if (!c.starter.empty()) Write(std::string("Updates/") + kUpdateStarterName, c.starter);
        os.uac = c.uac;
        os.probes = 0;
        auto f = CreateForm<ProductForm>();
        f->InitializeIt();
        EXPECT_EQ(f->CheckUpdateStarter(), c.ok);
        // Asked once per run: a starter replaced meanwhile changes nothing.
        Write(std::string("Updates/") + kUpdateStarterName, Versioned(9, 0, 0, 0));
        os.uac = !c.uac;
        EXPECT_EQ(f->CheckUpdateStarter(), c.ok);
        EXPECT_EQ(os.probes, c.probes);
        EXPECT_EQ(f->GetProgName(), c.ok ? "BrinquetExpressUpdater" : "zelUpdateStarterNew");
    }
}

TEST_F(Installation, AProbeErrorIsAskedAgain) {
    os.probeFails = true;
    auto f = CreateForm<ProductForm>();
    f->InitializeIt();
    EXPECT_THROW(f->CheckUpdateStarter(), EUpdaterError);
    EXPECT_EQ(f->ReadParamsValue("Local_Num"), "") << "swallowed";
    os.probeFails = false;
    os.uac = true;
    EXPECT_FALSE(f->CheckUpdateStarter());
    EXPECT_EQ(os.probes, 3);
}

TEST_F(Installation, AFailingStarterCheckUpdatesTheStarterInstead) {
    os.uac = true;  // and no starter
    InstallSettings("LocalNumber=12");
    const std::string params =
        "[Settings]\r\nBrinquetRoot=/r/\r\nNetwork_Install=1\r\nLocal_Num=12\r\n"
        "Applocation=/r/Admin/x.exe\r\nOld_File_Version=1.0.0.0\r\nUpdate_Ready=1\r\n"
        "Installer_Message=Installation Ready\r\n";
    Write(kParams, params);
    ServerIni("FILECOUNT=0\r\nSERVERPATH=http://elsewhere/\r\n", "zelUpdateStarterNew");
    LocalIni("KEEP=1\r\n");
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(site.Url("/cfg/"), form->GetServerPath());
    EXPECT_EQ(Read(kParams), params) << "neither written";
    for (const char* key : {"BrinquetRoot", "Network_Install", "Local_Num", "Applocation", "Old_File_Version",
                            "Update_Ready", "Installer_Message"})
        EXPECT_EQ(form->ReadParamsValue(key), "") << key << ": nor read";
    EXPECT_EQ(Read("Updates/BrinquetExpressUpdater_Local.ini"), "KEEP=1\r\n" + Support());
    EXPECT_EQ(Read("Updates/zelUpdateStarterNew_Local.ini"),
              "KEEP=1\r\n" + Support() + "SERVERPATH=http://elsewhere/\r\n");
    form.reset();  // the closing step at destruction says it again
    const auto log = Log();
    const std::string first =
        "Brinquet\xAE Express is not yet updated. To complete an Brinquet\xAE Express update, "
        "you must run this process again by doing the following:";
    const std::string second =
        "1) Open Brinquet\xAE Express. 2) Click on Help | Check for Internet Updates | Check "
        "for Newer Brinquet\xAE Express.";
    EXPECT_EQ(std::count(log.begin(), log.end(), first), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), second), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Finished all update processes."), 0) << "status type 7 is empty";
}
}  // namespace
