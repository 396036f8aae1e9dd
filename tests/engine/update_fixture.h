#pragma once
// Whole updates against a real web server on loopback, with the system's runs answered by a
// fake that records them.
#include <filesystem>
#include <functional>

#include "platform/os_services.h"
#include "tests/engine/engine_fixture.h"
#include "tests/engine/update_site.h"

// Records shell opens and answers waited runs with scripted exit codes.
struct FakeOS : platform::TOSServices {
    std::vector<std::string> opened, waited;
    std::vector<int> codes;  // exit codes of the next waited runs
    int shellResult = 42;    // 32 or less: the shell could not open the file
    int ShellOpen(const std::string& FileName, const std::string& Params, const std::string&) override {
        opened.push_back(FileName + Params);
        return shellResult;
    }
    int RunAndWait(const std::string& FileName, const std::string& Params, int, const std::string&) override {
        waited.push_back(FileName + Params);
        const int code = codes.empty() ? 0 : codes.front();
        if (!codes.empty()) codes.erase(codes.begin());
        return code;
    }
};

// The engine form with its default location pointed at the test site.
struct SiteForm : TzelCustUpdaterDialogForm {
    std::string defaultPath;
    int beforeDefault = 0;
    std::string GetDefaultServerPath() override { return defaultPath; }
    void BeforeUsingDefaultLocation() override { ++beforeDefault; }
};

class Update : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        platform::SetOSServices(&os);
    }
    void TearDown() override {
        platform::SetOSServices(nullptr);
        EngineTest::TearDown();
    }
    // One unattended update with DEBUG, the configured location being /cfg/ on the site.
    void RunNonVisual(const std::string& serverPath = "") {
        dir.Write("Updater_Local.ini", local + "CONSOLE=\r\n");
        Run(serverPath);
    }
    void Run(const std::string& serverPath = "") {
        Params({"DEBUG", "SERVERPATH=" + (serverPath.empty() ? site.Url("/cfg/") : serverPath)});
        auto form = MakeForm<SiteForm>();
        form->defaultPath = site.Url("/default/");
        if (prepare) prepare(*form);
        form->Start();
        errorUpdating = form->ErrorUpdating();
        usedDefault = form->UsingDefaultLocation();
        beforeDefault = form->beforeDefault;
        memo.clear();
        for (const auto& l : form->ProgressMemo.Lines) memo.push_back(l);
    }
    bool Logged(const std::string& text) const {
        for (const auto& t : LogTexts())
            if (t == text) return true;
        return false;
    }
    std::string LastError() const { return runtime.Messages.empty() ? "" : runtime.Messages.back(); }
    std::string LocalIni() const { return dir.Read("Updater_Local.ini"); }

    UpdateSite site;
    FakeOS os;
    std::string local;  // local INI lines before the run, each with CR LF
    bool errorUpdating = false, usedDefault = false;
    int beforeDefault = 0;
    std::vector<ui::TRichMemo::Line> memo;
    std::function<void(SiteForm&)> prepare;  // runs on the form just before Start
};

inline const std::string kHeader = "[Update]\r\nFOUNDIT=1\r\n";
