// The server INI as the updater reads it: what each entry offers and promises, and the faults
// that stop an update.
#include <gtest/gtest.h>

#include "server_ini/server_ini.h"

using namespace platform;
using namespace serverini;

namespace {
const std::string kHead = "FOUNDIT\r\n";

struct Read {
    TStringList list;
    TServerIni::TLoaded loaded;
    explicit Read(const std::string& Text, const std::vector<std::string>& Own = {}, bool Warnings = false)
        : loaded(Load(list, Text, Own, Warnings)) {}
    static TServerIni::TLoaded Load(TStringList& L, const std::string& Text, const std::vector<std::string>& Own,
                                    bool Warnings) {
        L.SetText(Text);
        return TServerIni::Load(L, Own, Warnings);
    }
    const TServerIni& ini() const { return loaded.Model; }
    std::string Error(int N = -1) const {
        const TFault* f = loaded.FirstError(N);
        return f ? f->Text : "";
    }
};

TEST(ServerIni, ReadsWhatTheServerIniPromises) {
    struct Case {
        const char* what;
        std::string lines;
        std::string sha;
        int64_t size;
        std::string error;  // the fault of entry 0; empty: none
    } cases[] = {
        {"nothing promised", "", "", -1, ""},
        {"upper-case hash, blanks around", "FILE0SHA256= " + std::string(64, 'A') + " \r\nFILE0SIZE= 12 \r\n",
         std::string(64, 'a'), 12, ""},
        {"another entry's keys are not this one's", "FILE00SIZE=5\r\nFILE1SIZE=7\r\n", "", -1, ""},
        {"hash one digit short", "FILE0SHA256=" + std::string(63, 'a') + "\r\n", "", -1,
         "Problem with configuration file.  FILE0SHA256 \"" + std::string(63, 'a') + "\" is not 64 hexadecimal digits."},
        {"hash with a non-digit", "FILE0SHA256=" + std::string(63, 'a') + "g\r\n", "", -1,
         "Problem with configuration file.  FILE0SHA256 \"" + std::string(63, 'a') + "g\" is not 64 hexadecimal digits."},
        {"negative size", "FILE0SIZE=-1\r\n", "", -1,
         "Problem with configuration file.  FILE0SIZE \"-1\" is not a size in bytes."},
        {"size with a unit", "FILE0SIZE=12kB\r\n", "", -1,
         "Problem with configuration file.  FILE0SIZE \"12kB\" is not a size in bytes."},
        {"rollout above 100", "FILE0ROLLOUT=101\r\n", "", -1,
         "Problem with configuration file.  FILE0ROLLOUT \"101\" is not a percentage from 0 to 100."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Read r(kHead + "FILECOUNT=1\r\nFILE0NAME=a\r\n" + c.lines);
        EXPECT_EQ(r.Error(0), c.error);
        ASSERT_EQ(r.ini().EntryCount(), 1);
        EXPECT_EQ(r.ini().Entry(0).Sha256, c.sha);
        EXPECT_EQ(r.ini().Entry(0).Size, c.size);
    }
}

TEST(ServerIni, AnEntryWithoutAVersionOffersTheOneBeforeIt) {
    const Read r(kHead +
                 "FILECOUNT=5\r\nFILE0NAME=a\r\nFILE1NAME=b\r\nFILE1VERSION=1.2.3.4\r\nFILE2NAME=c\r\nFILE3NAME=d\r\n"
                 "FILE3VERSION=\r\nFILE3VERSION=9.9.9.9\r\nFILE4NAME=e\r\nFILE4VERSION=2.0.0.0\r\n");
    ASSERT_EQ(r.ini().EntryCount(), 5);
    const struct {
        const char *offered, *own;
    } want[] = {{"", ""}, {"1.2.3.4", "1.2.3.4"}, {"1.2.3.4", ""}, {"1.2.3.4", ""}, {"2.0.0.0", "2.0.0.0"}};
    for (int n = 0; n < 5; ++n) {
        SCOPED_TRACE(n);
        // The first line of a name counts, as every look-up of the list finds it: an empty
        // FILE3VERSION is none, and the one after it is never read.
        EXPECT_EQ(r.ini().Entry(n).Version, want[n].offered);
        EXPECT_EQ(r.ini().Entry(n).OwnVersion, want[n].own);
    }
}

TEST(ServerIni, KeysAreFoundAsTheListFindsThem) {
    const Read r(kHead + "filecount=2\r\nfile0name=  a.exe \r\nFILE0Execute=NEVER\r\nFILE0NAME=second\r\n"
                         "FILE01NAME=not entry 1\r\nFILE1NAME=b.exe\r\nFILE1REQUEST=true\r\nFILE1WAIT=250\r\n"
                         "FILE1MESSAGE=Go?\r\nFILE1HELP_LOCATION=http://h/\r\nFILE1DOWNGRADE=TRUE\r\nFILE1ROLLOUT= 5 \r\n"
                         "SERVERPATH=http://s/\r\n");
    EXPECT_TRUE(r.ini().Genuine());
    EXPECT_EQ(r.ini().ServerPath(), "http://s/");
    ASSERT_EQ(r.ini().EntryCount(), 2);
    const TServerIniEntry a = r.ini().Entry(0), b = r.ini().Entry(1);
    EXPECT_EQ(a.Name, "a.exe");
    EXPECT_EQ(a.Execute, "NEVER");
    EXPECT_FALSE(a.Request);
    EXPECT_EQ(a.Wait, 0);
    EXPECT_EQ(a.Rollout, 100);
    EXPECT_FALSE(a.Downgrade);
    EXPECT_EQ(b.Name, "b.exe");
    EXPECT_FALSE(b.Request) << "only TRUE in capitals asks";
    EXPECT_EQ(b.Wait, 250);
    EXPECT_EQ(b.Message, "Go?");
    EXPECT_EQ(b.HelpLocation, "http://h/");
    EXPECT_TRUE(b.Downgrade);
    EXPECT_EQ(b.Rollout, 5);
    EXPECT_EQ(b.Key("WAIT"), "FILE1WAIT");
}

TEST(ServerIni, TheFileAsAWholeAndWhereTheUpdateStops) {
    struct Case {
        const char* what;
        std::string text;
        std::string error;  // the file's own
        int entries;
        int stopsAt;  // the entry without a name; -1: none
    } cases[] = {
        {"no FILECOUNT", kHead, "Problem with configuration file.  No files in Server Ini File Count.", 0, -1},
        {"an empty FILECOUNT", kHead + "FILECOUNT=\r\n",
         "Problem with configuration file.  No files in Server Ini File Count.", 0, -1},
        {"FILECOUNT not a number", kHead + "FILECOUNT=abc\r\nFILE0NAME=a\r\n", "''abc'' is not a valid integer value", 0,
         -1},
        {"FILECOUNT zero", kHead + "FILECOUNT=0\r\nFILE0NAME=a\r\n", "", 0, -1},
        {"a name missing", kHead + "FILECOUNT=3\r\nFILE0NAME=a\r\nFILE2NAME=c\r\n", "", 1, 1},
        {"a blank name", kHead + "FILECOUNT=2\r\nFILE0NAME= \t\r\n", "", 0, 0},
        {"more entries counted than the list can hold", kHead + "FILECOUNT=2000000000\r\nFILE0NAME=a\r\n", "", 1, 1},
        {"only a far entry named", kHead + "FILECOUNT=2000000000\r\nFILE1999999999NAME=a\r\n", "", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Read r(c.text);
        EXPECT_EQ(r.Error(), c.error);
        EXPECT_EQ(r.ini().EntryCount(), c.entries);
        if (c.stopsAt >= 0) {
            EXPECT_EQ(r.Error(c.stopsAt), "Problem with configuration file.  No filename in Server Ini File Count.");
        }
        EXPECT_EQ(r.loaded.Failed(), !c.error.empty() || c.stopsAt >= 0);
    }
    EXPECT_FALSE(Read("foundit\r\nFILECOUNT=0\r\n").ini().Genuine()) << "the marker counts in capitals only";
    EXPECT_TRUE(Read("[Update]\r\nx=FOUNDIT=1\r\nFILECOUNT=0\r\n").ini().Genuine());
}

TEST(ServerIni, NamesOfTheUpdatersOwnFilesAreRefused) {
    const std::vector<std::string> own = {"Updater_Local.ini", "Temp", "Updater.log"};
    struct Case {
        const char* name;
        const char* error;  // empty: accepted
    } cases[] = {
        {"Temp", "Problem with configuration file.  FILE0NAME names \"Temp\", which is one of the updater's own files."},
        {"./temp", "Problem with configuration file.  FILE0NAME names \"./temp\", which is one of the updater's own files."},
        {"UPDATER_LOCAL.INI",
         "Problem with configuration file.  FILE0NAME names \"UPDATER_LOCAL.INI\", which is one of the updater's own "
         "files."},
        {"app.exe.old",
         "Problem with configuration file.  FILE0NAME names \"app.exe.old\", which is one of the updater's own files."},
        {"../x.exe",
         "Problem with configuration file.  FILE0NAME names \"../x.exe\", which is not a file inside the program "
         "folder."},
        {"Temp.", "Problem with configuration file.  FILE0NAME names \"Temp.\", which Windows reads as another name (a "
                  "part ending in a dot or a blank, or a colon)."},
        {"sub/Temp", ""},
        {"Temporary.exe", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Read r(kHead + "FILECOUNT=2\r\nFILE0NAME=" + c.name + "\r\nFILE1NAME=b\r\n", own);
        EXPECT_EQ(r.Error(0), c.error);
        EXPECT_EQ(r.Error(1), "") << "each entry has its own faults";
        EXPECT_EQ(r.ini().EntryCount(), 2);
    }
}

TEST(ServerIni, WarningsAreListedOnlyWhenAsked) {
    const std::string text = kHead +
                             "FILECOUNT=1\r\nFILE0NAME=a\r\nFILE0VERSION=1.2.3\r\nFILE0EXECUTE=never\r\nFILE0REQUEST=True\r\n"
                             "FILE0DOWNGRADE=true\r\nFILE0WAIT=10s\r\n";
    EXPECT_TRUE(Read(text).loaded.Faults.empty());
    const Read r(text, {}, true);
    std::vector<std::string> texts;
    for (const TFault& f : r.loaded.Faults) {
        EXPECT_EQ(f.Severity, TSeverity::Warning) << f.Text;
        EXPECT_EQ(f.Entry, 0) << f.Text;
        texts.push_back(f.Text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "FILE0VERSION \"1.2.3\" reads as 1.2.0.3",
                         "FILE0EXECUTE \"never\" is not NEVER (letter case matters): the file will run",
                         "FILE0REQUEST \"True\" is not TRUE (letter case matters): the user will not be asked",
                         "FILE0DOWNGRADE \"true\" is not TRUE (letter case matters): an older version is not taken",
                         "FILE0WAIT \"10s\" is not a number: the file is opened without waiting",
                     }));
    EXPECT_FALSE(r.loaded.Failed());
}

TEST(ServerIni, AnEntryAloneIsReadByTheSameRules) {
    TStringList list;
    list.SetText("FILE3NAME= x.sh\r\nFILE3WAIT=40\r\nFILE3SHA256=" + std::string(64, 'B') + "\r\n");
    const TServerIniEntry e = TServerIni::EntryAt(list, 3);
    EXPECT_EQ(e.Number, 3);
    EXPECT_EQ(e.Name, "x.sh");
    EXPECT_EQ(e.Wait, 40);
    EXPECT_EQ(e.Sha256, std::string(64, 'b'));
}
}  // namespace
