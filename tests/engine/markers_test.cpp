// The RAN markers: on disk as soon as they change, and kept with the file they belong to.
#include "server_ini/file_names.h"
#include "tests/engine/update_fixture.h"
#include "tests/platform/pe_image_builder.h"

using namespace engine;
using namespace serverini;
using namespace platform;
using namespace ui;

namespace {

TEST_F(Update, AMarkerSetBeforeAnUpdateErrorIsKept) {
    // Entry 2 has no name: the update ends in an error after a.sh and b.sh ran.
    site.Put("/cfg/Updater.ini", kHeader + "SERVERPATH=" + site.Url("/cfg/") +
                                     "\r\nFILECOUNT=3\r\nFILE0NAME=a.sh\r\nFILE0VERSION=0.0.0.0\r\nFILE1NAME=b.sh\r\n");
    dir.Write("a.sh", "installed");
    RunNonVisual();
    EXPECT_TRUE(errorUpdating);
    EXPECT_EQ(os.opened, (std::vector<std::string>{dir.File("a.sh"), dir.File("b.sh")}));
    EXPECT_EQ(LocalIni(), "CONSOLE=\r\nFILE0RAN=TRUE\r\nFILE0RANNAME=a.sh\r\nFILE1RAN=TRUE\r\nFILE1RANNAME=b.sh\r\n")
        << "the markers are saved, SERVERPATH is not merged by a run with an error";

    site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=2\r\nFILE0NAME=a.sh\r\nFILE1NAME=b.sh\r\n");
    os.opened.clear();
    local = "";
    Run();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_TRUE(os.opened.empty()) << "neither runs a second time";
}

TEST_F(Update, AFalseMarkerAfterADownloadSurvivesAnUpdateError) {
    pe::SimpleImage v1, v2;
    v1.Resources = {pe::VersionResource(0x00010000, 0)};
    v2.Resources = {pe::VersionResource(0x00020000, 0)};
    site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\nFILE0NAME=tool.exe\r\nFILE0VERSION=2.0.0.0\r\n");
    site.Put("/cfg/tool.exe", pe::BuildSimple(v2));
    dir.Write("tool.exe", pe::BuildSimple(v1));
    local = "FILE0RAN=TRUE\r\nFILE0RANNAME=tool.exe\r\n";  // version 1 ran
    os.shellResult = 2;                                    // the run of version 2 fails with an error
    RunNonVisual();
    EXPECT_TRUE(errorUpdating);
    EXPECT_EQ(dir.Read("tool.exe"), pe::BuildSimple(v2));
    EXPECT_EQ(LocalIni(), "CONSOLE=\r\nFILE0RAN=FALSE\r\nFILE0RANNAME=tool.exe\r\n");

    os.shellResult = 42;
    os.opened.clear();
    dir.Write("Updater.log", "");
    local = "";
    Run();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_FALSE(Logged("Successfully downloaded tool.exe")) << "version 2 is installed";
    EXPECT_EQ(os.opened, std::vector<std::string>{dir.File("tool.exe")}) << "and runs now";
}

TEST_F(Update, AMarkerFollowsItsFileNotItsNumber) {
    const struct {
        const char* what;
        std::string local;  // before the run
        std::string list;   // the server INI's entries
        std::vector<std::string> runs;
        std::string after;  // the local INI after the run, below its first line
    } cases[] = {
        {"moved from entry 0 to entry 1",
         "FILE0RAN=TRUE\r\nFILE0RANNAME=once.sh\r\n",
         "FILECOUNT=2\r\nFILE0NAME=new.sh\r\nFILE1NAME=once.sh\r\n",
         {"new.sh"},
         "CONSOLE=\r\nFILE1RAN=TRUE\r\nFILE1RANNAME=once.sh\r\nFILE0RAN=TRUE\r\nFILE0RANNAME=new.sh\r\n"},
        {"two files swapped",
         "FILE0RAN=TRUE\r\nFILE0RANNAME=a.sh\r\nFILE1RAN=FALSE\r\nFILE1RANNAME=b.sh\r\n",
         "FILECOUNT=2\r\nFILE0NAME=b.sh\r\nFILE1NAME=a.sh\r\n",
         {"b.sh"},
         "CONSOLE=\r\nFILE1RAN=TRUE\r\nFILE1RANNAME=a.sh\r\nFILE0RAN=TRUE\r\nFILE0RANNAME=b.sh\r\n"},
        {"recorded in another letter case",
         "FILE3RAN=TRUE\r\nFILE3RANNAME=./Once.SH\r\n",
         "FILECOUNT=1\r\nFILE0NAME=once.sh\r\n",
         {},
         "CONSOLE=\r\nFILE0RAN=TRUE\r\nFILE0RANNAME=once.sh\r\n"},
        {"recorded for another name",
         "FILE0RAN=TRUE\r\nFILE0RANNAME=old.sh\r\n",
         "FILECOUNT=1\r\nFILE0NAME=new.sh\r\n",
         {"new.sh"},
         "CONSOLE=\r\nFILE0RAN=TRUE\r\nFILE0RANNAME=new.sh\r\n"},
        {"an old marker without a name",
         "FILE0RAN=TRUE\r\n",
         "FILECOUNT=1\r\nFILE0NAME=x.sh\r\n",
         {},
         "FILE0RAN=TRUE\r\nCONSOLE=\r\n"},
        {"an old marker under the number a named one moves to",
         "FILE0RAN=TRUE\r\nFILE1RAN=FALSE\r\nFILE1RANNAME=y.sh\r\n",
         "FILECOUNT=1\r\nFILE0NAME=y.sh\r\n",
         {"y.sh"},
         "CONSOLE=\r\nFILE0RAN=TRUE\r\nFILE0RANNAME=y.sh\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Put("/cfg/Updater.ini", kHeader + c.list);
        local = "; kept\r\n" + c.local;
        os.opened.clear();
        RunNonVisual();
        EXPECT_FALSE(errorUpdating) << LastError();
        std::vector<std::string> runs;
        for (const auto& r : c.runs) runs.push_back(dir.File(r));
        EXPECT_EQ(os.opened, runs);
        EXPECT_EQ(LocalIni(), "; kept\r\n" + c.after);
    }
}

}  // namespace
