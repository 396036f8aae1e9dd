// A release given to a share of the workstations first, and a release taken back.
#include "crypto/crypto.h"
#include "tests/engine/update_fixture.h"
#include "tests/platform/pe_image_builder.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {

std::string Versioned(uint32_t ms, uint32_t ls) {
    pe::SimpleImage image;
    image.Resources = {pe::VersionResource(ms, ls)};
    return pe::BuildSimple(image);
}
std::string Sha(const std::string& bytes) { return crypto::ToHex(crypto::Sha256(bytes)); }

TEST_F(Update, AStagedReleaseReachesTheBucketsBelowItsShare) {
    struct Case {
        const char* bucket;   // ROLLOUTBUCKET in the local INI
        const char* rollout;  // FILE0ROLLOUT; empty: none
        bool taken;
    } cases[] = {
        {"0", "0", false},   {"0", "1", true},    {"0", "50", true},   {"49", "50", true}, {"50", "50", false},
        {"99", "50", false}, {"99", "99", false}, {"99", "100", true}, {"99", "", true},
    };
    site.Put("/cfg/tool.sh", "new tool");
    for (const auto& c : cases) {
        const std::string what = std::string("bucket ") + c.bucket + ", ROLLOUT " + c.rollout;
        SCOPED_TRACE(what);
        site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\nFILE0NAME=tool.sh\r\nFILE0VERSION=2.0.0.0\r\n" +
                                         (*c.rollout ? "FILE0ROLLOUT=" + std::string(c.rollout) + "\r\n" : ""));
        dir.Write("tool.sh", "installed");
        dir.Write("Updater.log", "");
        local = "ROLLOUTBUCKET=" + std::string(c.bucket) + "\r\nFILE0RAN=TRUE\r\n";
        os.opened.clear();
        RunNonVisual();
        EXPECT_FALSE(errorUpdating) << LastError();
        EXPECT_EQ(dir.Read("tool.sh"), c.taken ? "new tool" : "installed");
        const std::string held = "tool.sh is held back by the staged rollout: this release reaches " +
                                 std::string(c.rollout) + " % of workstations, and this one is in bucket " + c.bucket +
                                 ".";
        EXPECT_EQ(Logged(held), !c.taken);
        EXPECT_EQ(os.opened.size(), c.taken ? 1u : 0u) << "a release held back is not run either";
        EXPECT_NE(LocalIni().find("ROLLOUTBUCKET=" + std::string(c.bucket) + "\r\n"), std::string::npos);
        const std::string recordLine =
            "HeldBack=staged rollout: " + std::string(c.rollout) + " %, bucket " + c.bucket + "\r\n";
        EXPECT_EQ(dir.Read("Updater_LastRun.ini").find(recordLine) != std::string::npos, !c.taken)
            << dir.Read("Updater_LastRun.ini");
    }
}

TEST_F(Update, AWorkstationDrawsItsBucketOnceAndKeepsIt) {
    site.Put("/cfg/Updater.ini",
             kHeader + "FILECOUNT=1\r\nFILE0NAME=tool.sh\r\nFILE0VERSION=2.0.0.0\r\nFILE0ROLLOUT=50\r\n");
    site.Put("/cfg/tool.sh", "new tool");
    dir.Write("Updater_Local.ini", "CONSOLE=\r\nFILE0RAN=TRUE\r\n");
    dir.Write("tool.sh", "installed");
    Run();
    ASSERT_FALSE(errorUpdating) << LastError();
    const std::string after = LocalIni();
    const size_t at = after.find("ROLLOUTBUCKET=");
    ASSERT_NE(at, std::string::npos) << after;
    const int bucket = std::stoi(after.substr(at + 14));
    ASSERT_GE(bucket, 0);
    ASSERT_LE(bucket, 99);
    EXPECT_EQ(dir.Read("tool.sh"), bucket < 50 ? "new tool" : "installed");
    for (int run = 0; run < 3; ++run) {
        dir.Write("tool.sh", "installed");
        Run();
        EXPECT_NE(LocalIni().find("ROLLOUTBUCKET=" + std::to_string(bucket) + "\r\n"), std::string::npos);
        EXPECT_EQ(dir.Read("tool.sh"), bucket < 50 ? "new tool" : "installed") << "run " << run;
    }
}

TEST_F(Update, ARollbackTakesTheOfferedFileWhenItDiffers) {
    const std::string v1 = Versioned(0x00010000, 0), v2 = Versioned(0x00020000, 0);
    struct Case {
        const char* what;
        std::string installed, offered, entry;
        bool taken;
    } cases[] = {
        {"2.0.0.0 back to 1.0.0.0", v2, v1, "FILE0NAME=lib.dll\r\nFILE0VERSION=1.0.0.0\r\nFILE0DOWNGRADE=TRUE\r\n",
         true},
        {"an older version without DOWNGRADE", v2, v1, "FILE0NAME=lib.dll\r\nFILE0VERSION=1.0.0.0\r\n", false},
        {"DOWNGRADE in small letters", v2, v1, "FILE0NAME=lib.dll\r\nFILE0VERSION=1.0.0.0\r\nFILE0DOWNGRADE=true\r\n",
         false},
        {"DOWNGRADE, the same version", v1, v1, "FILE0NAME=lib.dll\r\nFILE0VERSION=1.0.0.0\r\nFILE0DOWNGRADE=TRUE\r\n",
         false},
        {"DOWNGRADE still takes a newer version", v1, v2,
         "FILE0NAME=lib.dll\r\nFILE0VERSION=2.0.0.0\r\nFILE0DOWNGRADE=TRUE\r\n", true},
        {"unversioned, rolled back by hash", "new bytes", "old bytes",
         "FILE0NAME=lib.dll\r\nFILE0DOWNGRADE=TRUE\r\nFILE0SHA256=" + Sha("old bytes") + "\r\n", true},
        {"unversioned, the hash already installed", "old bytes", "old bytes",
         "FILE0NAME=lib.dll\r\nFILE0DOWNGRADE=TRUE\r\nFILE0SHA256=" + Sha("old bytes") + "\r\n", false},
        {"a rollback held back by its rollout", v2, v1,
         "FILE0NAME=lib.dll\r\nFILE0VERSION=1.0.0.0\r\nFILE0DOWNGRADE=TRUE\r\nFILE0ROLLOUT=10\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\n" + c.entry);
        site.Put("/cfg/lib.dll", c.offered);
        dir.Write("lib.dll", c.installed);
        dir.Write("Updater.log", "");
        local = "ROLLOUTBUCKET=10\r\nFILE0RAN=TRUE\r\n";
        os.opened.clear();
        RunNonVisual();
        EXPECT_FALSE(errorUpdating) << LastError();
        EXPECT_EQ(dir.Read("lib.dll"), c.taken ? c.offered : c.installed);
        // As for a newer version: downloaded, marked not run, and run.
        EXPECT_EQ(os.opened.size(), c.taken ? 1u : 0u);
        EXPECT_EQ(Logged("No newer version of lib.dll is available."), !c.taken);
    }
}

TEST_F(Update, ARolloutThatIsNoPercentageIsAConfigurationError) {
    for (const char* rollout : {"101", "-1", "50%", "x"}) {
        SCOPED_TRACE(rollout);
        site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\nFILE0NAME=tool.sh\r\nFILE0VERSION=2.0.0.0\r\n" +
                                         "FILE0ROLLOUT=" + rollout + "\r\n");
        site.Put("/cfg/tool.sh", "new tool");
        dir.Write("tool.sh", "installed");
        runtime.Messages.clear();
        RunNonVisual();
        EXPECT_TRUE(errorUpdating);
        EXPECT_EQ(LastError(), "Update error: Problem with configuration file.  FILE0ROLLOUT \"" +
                                   std::string(rollout) + "\" is not a percentage from 0 to 100.");
        EXPECT_EQ(dir.Read("tool.sh"), "installed");
    }
}
}  // namespace
