#pragma once
// A product-shaped installation in a temporary folder: R/Updates is the program folder,
// R/Admin holds the application, R/Admin/Client the installation settings, R/Utils the
// contact file. The update server is nginx on loopback; the OS services and the window
// runtime are the tests' own, so runs, probes and clicks happen where a case says.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "product/brinquet_express_update_dialog.h"
#include "tests/engine/update_site.h"
#include "tests/support/temp_dir.h"
#include "ui/headless_runtime.h"

// Records shell opens and waited runs; answers the elevation probe as told.
struct FakeProductOS : platform::TOSServices {
    std::vector<std::string> opened, waited;
    std::vector<int> codes;                         // exit codes of the next waited runs (none: 0)
    std::function<void(const std::string&)> onRun;  // a run's side effect (the program's work)
    bool uac = false;
    bool probeFails = false;
    int shellResult = 42;  // 32 or less: the shell could not open the file
    int probes = 0;
    int ShellOpen(const std::string& FileName, const std::string& Params, const std::string&) override;
    int RunAndWait(const std::string& FileName, const std::string& Params, int TimeOut,
                   const std::string& ProgramFolder) override;
    bool IsUacEnabled() override;
    bool chdirFails = false;
    bool SetCurrentDir(const std::string& Dir) override {
        return !chdirFails && platform::TOSServices::SetCurrentDir(Dir);
    }
    // A mapped drive: paths under From are turned into paths under To.
    std::string uncFrom, uncTo;
    std::string ExpandUNCFileName(const std::string& FileName) override {
        if (uncFrom.empty() || FileName.rfind(uncFrom, 0) != 0) return FileName;
        return uncTo + FileName.substr(uncFrom.size());
    }
};

// The headless runtime with a hook at every round of window messages, and a guard that
// presses Close when a wait would otherwise never end.
struct ProductRuntime : ui::THeadlessRuntime {
    std::function<void()> onPump;
    int budget = 20000;
    std::function<void()> onBudgetExhausted;
    void ProcessMessages() override;
};

// The product form without the pause between rounds of the wait.
struct ProductForm : TzelBrinquetUpdaterDialogForm {
    struct RunCall {
        std::string file;
        bool fromVisual, wasDownloaded;
    };
    std::vector<RunCall> runs;
    std::vector<std::string> afterRuns;  // AfterRunFile's file names, with "!" when the error lines stood already
    void AfterRunFile(const std::string& FileName) override {
        bool errorShown = false;
        for (const auto& l : ProgressMemo.Lines) errorShown |= l.Text == "=== Error ===";
        afterRuns.push_back(FileName + (errorShown ? "!" : ""));
        TzelBrinquetUpdaterDialogForm::AfterRunFile(FileName);
    }
    bool RunFile(const std::string& FileName, bool FromVisual, bool WasDownloaded,
                 const serverini::TServerIniEntry& Entry) override {
        runs.push_back({FileName, FromVisual, WasDownloaded});
        return TzelBrinquetUpdaterDialogForm::RunFile(FileName, FromVisual, WasDownloaded, Entry);
    }

protected:
    void IdleWhileWaiting() override {}
};

class ProductTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Root() const { return tree.Path(); }
    std::string Program() const { return tree.Path() + "Updates/"; }
    // Paths relative to the product root.
    void Write(const std::string& name, const std::string& bytes) const { tree.Write(name, bytes); }
    std::string Read(const std::string& name) const { return tree.Read(name); }
    bool Exists(const std::string& name) const { return tree.Exists(name); }
    // A PE file carrying the version a.b.c.d.
    static std::string Versioned(uint16_t a, uint16_t b, uint16_t c, uint16_t d);
    void InstallSettings(const std::string& localNumberLine) const {
        Write("Admin/Client/install.ini", "[Settings]\r\n" + localNumberLine + "\r\n");
    }
    // The site offers the product's update program at 5.1.0.0.
    void OfferScriptUpdater() { site.Put("/cfg/" + std::string(product::kScriptUpdaterName), Versioned(5, 1, 0, 0)); }
    // An installation with local number 12 whose application (5.0.2.0) is older than the
    // update program the site offers, so that program is due.
    void ScriptUpdaterDue() {
        InstallSettings("LocalNumber=12");
        Write("Admin/BQKORVEXP.exe", Versioned(5, 0, 2, 0));
        OfferScriptUpdater();
    }
    // A server INI on the site, under /cfg/ for the program name.
    void ServerIni(const std::string& entries, const std::string& progName = "BrinquetExpressUpdater") {
        site.Put("/cfg/" + progName + ".ini", "[Update]\r\nFOUNDIT=1\r\n" + entries);
    }
    // Every local INI names a support service on loopback: a port nobody listens on unless
    // the case set supportUrl to its own service.
    void LocalIni(const std::string& text) const {
        Write("Updates/BrinquetExpressUpdater_Local.ini", text + Support());
    }
    std::string Support() const { return "SUPPORTURL=" + supportUrl + "\r\n"; }

    // Makes the form and runs Start with DEBUG and the site's /cfg/ as SERVERPATH. The local
    // INI decides the mode. Returns the message of an error that left Start ("" when none).
    std::string Run(std::vector<std::string> extraParams = {});
    // After Run: what was reported.
    std::vector<std::string> Log() const;  // log entries without time stamps
    bool Logged(const std::string& text) const;
    std::vector<std::string> MemoTexts() const;
    bool InMemo(const std::string& text) const;
    // Presses Proceed (a real click) as soon as the script updater waits.
    void ClickProceedWhenWaiting();
    void ClickCloseWhenWaiting();

    TempDir tree{"zelproduct"};
    UpdateSite site;
    FakeProductOS os;
    ProductRuntime runtime;
    std::unique_ptr<ProductForm, void (*)(TzelCustUpdaterDialogForm*)> form{nullptr, &engine::DestroyForm};
    std::string savedCwd;
    std::string supportUrl;
};

extern const std::string kBrinquet;  // the product's name as the texts carry it
