// Where the server is, and what travels from the server INI to the local INI.
#include <filesystem>

#include "tests/engine/engine_fixture.h"

using namespace engine;

namespace {
using IniLists = EngineTest;

TEST_F(IniLists, ServerPathOrderAndTrimming) {
    struct Case {
        const char* what;
        std::vector<std::string> params;
        const char* server;
        const char* local;
        std::string expected;
    } cases[] = {
        {"parameter first, trimmed",
         {"SERVERPATH= http://p/ \t"},
         "SERVERPATH=http://s/",
         "SERVERPATH=http://l/",
         "http://p/"},
        {"empty parameter falls through", {"SERVERPATH="}, "SERVERPATH=http://s/", "SERVERPATH=http://l/", "http://s/"},
        {"then the local INI", {}, "", "SERVERPATH=http://l/", "http://l/"},
        {"then the default", {}, "", "", "http://updates.zelsoftware.com/updates/zelupdates/"},
        {"a blank before = hides the key",
         {},
         "SERVERPATH =http://s/",
         "",
         "http://updates.zelsoftware.com/updates/zelupdates/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.File("Updater_Local.ini"));
        Params(c.params);
        auto form = MakeForm();
        form->InitializeIt();
        if (*c.server) form->ServerIniList().Add(c.server);
        if (*c.local) form->LocalIniList().Add(c.local);
        EXPECT_EQ(form->GetServerPath(), c.expected);
        form->LocalIniList().Clear();
    }
}

TEST_F(IniLists, MergeNeverRemovesAndMovesChangedKeysToTheEnd) {
    struct Case {
        const char* what;
        std::vector<std::string> server;
        std::vector<std::string> local;
        std::vector<std::string> merged;
    } cases[] = {
        {"same value keeps its place",
         {"SERVERPATH=http://a/"},
         {"SERVERPATH=http://a/", "X=1"},
         {"SERVERPATH=http://a/", "X=1"}},
        {"case differs: replaced and moved",
         {"SERVERPATH=http://A/"},
         {"SERVERPATH=http://a/", "X=1"},
         {"X=1", "SERVERPATH=http://A/"}},
        {"no CONSOLE on the server keeps the local one", {"FOUNDIT"}, {"CONSOLE="}, {"CONSOLE="}},
        {"empty server value changes nothing", {"CONSOLE="}, {"CONSOLE=1"}, {"CONSOLE=1"}},
        {"new key appended with the name as passed", {"console=yes"}, {"; c"}, {"; c", "CONSOLE=yes"}},
        {"duplicate local key: only the first goes",
         {"SERVERPATH=n"},
         {"SERVERPATH=a", "SERVERPATH=b"},
         {"SERVERPATH=b", "SERVERPATH=n"}},
        {"empty server INI: nothing", {}, {"CONSOLE="}, {"CONSOLE="}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.File("Updater_Local.ini"));
        auto form = MakeForm();
        form->InitializeIt();
        for (const auto& l : c.server) form->ServerIniList().Add(l);
        for (const auto& l : c.local) form->LocalIniList().Add(l);
        form->MergeServerValue("SERVERPATH");
        form->MergeServerValue("CONSOLE");
        EXPECT_EQ(form->LocalIniList().Lines(), c.merged);
        form->LocalIniList().Clear();
    }
}

TEST_F(IniLists, SetLocalIniValueWithDuplicatesLeavesTheOlderSecondVisible) {
    auto form = MakeForm();
    form->InitializeIt();
    form->LocalIniList().Add("FILE0RAN=FALSE");
    form->LocalIniList().Add("FILE0RAN=OLD");
    form->SetLocalIniValue("FILE0RAN", "TRUE");
    EXPECT_EQ(form->LocalIniList().Values("FILE0RAN"), "OLD");
    form->LocalIniList().Clear();
}

TEST_F(IniLists, ServerPathFromTheDefaultLocationIsNotMerged) {
    struct DefaultRun : TzelCustUpdaterDialogForm {
        void Pretend() { FUsingDefaultLocation = true; }
    };
    auto form = MakeForm<DefaultRun>();
    form->InitializeIt();
    form->ServerIniList().Add("SERVERPATH=http://s/");
    form->ServerIniList().Add("CONSOLE=1");
    form->Pretend();
    form->MergeAndSaveLocalIniFile();
    EXPECT_EQ(dir.Read("Updater_Local.ini"), "CONSOLE=1\r\n");
}
}  // namespace
