// Updates from a site whose publisher signs the server INI and lists a hash and a size for
// every file, against a real web server on loopback, with keys made by the openssl command.
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "crypto/crypto.h"
#include "platform/os_services.h"
#include "tests/engine/engine_fixture.h"
#include "tests/engine/update_site.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_keys.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {
struct RecordingOS : TOSServices {
    std::vector<std::string> opened;
    int ShellOpen(const std::string& FileName, const std::string& Params, const std::string&) override {
        opened.push_back(FileName + Params);
        return 42;
    }
    int RunAndWait(const std::string& FileName, const std::string& Params, int, const std::string&) override {
        opened.push_back(FileName + Params);
        return 300;
    }
};

struct SiteForm : TzelCustUpdaterDialogForm {
    std::string defaultPath;
    std::string GetDefaultServerPath() override { return defaultPath; }
};

std::string Sha(const std::string& bytes) { return crypto::ToHex(crypto::Sha256(bytes)); }

const std::string kTool = "#!/bin/sh\necho new tool\n";

class PublisherTrust : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        SetOSServices(&os);
        std::string error;
        ASSERT_TRUE(MakePublisherKey(keys.Path(), "publisher", key, error)) << error;
        ASSERT_TRUE(MakePublisherKey(keys.Path(), "other", other, error)) << error;
    }
    void TearDown() override {
        SetOSServices(nullptr);
        EngineTest::TearDown();
    }
    // Puts Ini at Path on the site with a signature by Signer beside it (none when null).
    void Publish(const std::string& Path, const std::string& Ini, const PublisherKey* Signer) {
        site.Put(Path, Ini);
        site.Put(Path + ".sig", Signer ? Signature(Ini, *Signer) : "");
    }
    std::string Signature(const std::string& Bytes, const PublisherKey& Signer) {
        const std::string file = keys.Write("to-sign.ini", Bytes);
        std::string error;
        EXPECT_TRUE(SignWithOpenssl(Signer, file, error)) << error;
        return keys.Read("to-sign.ini.sig");
    }
    // One unattended update with DEBUG from /cfg/ (default location /default/).
    // Visual: in the window (Proceed, then Close), where the memo shows what went wrong.
    void Run(bool withKey = true, const std::string& serverPath = "", bool visual = false) {
        localIni = (visual ? "" : "CONSOLE=\r\n") +
                   (withKey ? "PUBLICKEY=" + key.PublicBase64 + "\r\n" : std::string()) + extraLocal;
        dir.Write("Updater_Local.ini", localIni);
        Update(serverPath, visual);
    }
    // One more update with the local INI as the last one left it.
    void Update(const std::string& serverPath = "", bool visual = false) {
        if (serverPath.empty())
            Params({"DEBUG", "SERVERPATH=" + site.Url("/cfg/")});
        else
            Params({"DEBUG"});
        auto form = MakeForm<SiteForm>();
        form->defaultPath = site.Url("/default/");
        if (visual) {
            runtime.InLoop([&] { form->ProceedBitBtn.Click(); });
            runtime.InLoop([&] { form->Close(); });
        }
        form->Start();
        errorUpdating = form->ErrorUpdating();
        memo = form->ProgressMemo.Lines;
    }
    std::string LastError() const { return runtime.Messages.empty() ? "" : runtime.Messages.back(); }
    bool InMemoBoldRed(const std::string& fragment) const {
        for (const auto& l : memo)
            if (l.Bold && l.Color == kRed && l.Text.find(fragment) != std::string::npos) return true;
        return false;
    }
    bool Logged(const std::string& fragment) const {
        for (const auto& t : LogTexts())
            if (t.find(fragment) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> ProgramFiles() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string ToolEntry(const std::string& sha, const std::string& size) const {
        return "FILE0NAME=tool.sh\r\nFILE0VERSION=1.0.0.0\r\n" + (sha.empty() ? "" : "FILE0SHA256=" + sha + "\r\n") +
               (size.empty() ? "" : "FILE0SIZE=" + size + "\r\n");
    }

    static constexpr TColor kRed = clRed;
    // The value of Key in the local INI on disk.
    std::string LocalValue(const std::string& Key) const {
        TStringList ini;
        ini.LoadFromFile(dir.File("Updater_Local.ini"));
        return ini.Values(Key);
    }

    TempDir keys{"zelkeys"};
    PublisherKey key, other;
    UpdateSite site;
    RecordingOS os;
    std::string localIni, extraLocal;
    bool errorUpdating = false;
    std::vector<TRichMemo::Line> memo;
};

const std::string kHeader = "[Update]\r\nFOUNDIT=1\r\n";

TEST_F(PublisherTrust, ASignedSiteUpdates) {
    // Entry 1 is current (nothing to download), so it needs no hash even under a key.
    const std::string ini = kHeader + "FILECOUNT=2\r\n" + ToolEntry(Sha(kTool), std::to_string(kTool.size())) +
                            "FILE1NAME=current.sh\r\nFILE1VERSION=0.0.0.0\r\nFILE1EXECUTE=NEVER\r\n";
    Publish("/cfg/Updater.ini", ini, &key);
    site.Put("/cfg/tool.sh", kTool);
    dir.Write("current.sh", "installed");
    Run();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(dir.Read("tool.sh"), kTool);
    EXPECT_EQ(os.opened, std::vector<std::string>{dir.File("tool.sh")});
    EXPECT_EQ(dir.Read("Updater_Local.ini"), localIni + "FILE0RAN=TRUE\r\nFILE0RANNAME=tool.sh\r\n");
    EXPECT_TRUE(Logged("carries the publisher's signature"));
    EXPECT_FALSE(Logged("No PUBLICKEY"));
    EXPECT_EQ(ProgramFiles(), (std::vector<std::string>{"Updater.log", "Updater_LastRun.ini", "Updater_Local.ini",
                                                        "current.sh", "tool.sh"}))
        << "no temporary INI, signature or transfer file is left";
}

TEST_F(PublisherTrust, AServerIniWithoutAValidSignatureIsNeverUsed) {
    // SERVERPATH and CONSOLE would reach the local INI, and the file would run, if any of it were used.
    const std::string ini = kHeader + "FILECOUNT=1\r\n" + ToolEntry(Sha(kTool), "") + "CONSOLE=1\r\n";
    std::string changed = ini;
    changed.replace(changed.find("1.0.0.0"), 1, "2");
    const std::string cfg = site.Url("/cfg/Updater.ini"), fallback = site.Url("/default/Updater.ini");
    struct Case {
        const char* what;
        std::string configured, configuredSig, fallbackIni, fallbackSig;
        std::string text;
        bool visual = false;
    } cases[] = {
        {"changed by one byte after signing", changed, Signature(ini, key), "", "",
         "The server INI at " + cfg + " does not match its signature", true},
        {"signed with another key", ini, Signature(ini, other), "", "",
         "The server INI at " + cfg + " does not match its signature"},
        {"no signature", ini, "", "", "", "The server INI at " + cfg + " is not signed: its signature " + cfg + ".sig"},
        {"truncated signature", ini, Signature(ini, key).substr(0, 20), "", "",
         "The signature of the server INI at " + cfg + " is malformed"},
        {"signed configured location, unsigned fall-back", "<html>Not here</html>", Signature("<html>", key), ini, "",
         "The server INI at " + fallback + " is not signed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Put("/cfg/Updater.ini", c.configured);
        site.Put("/cfg/Updater.ini.sig", c.configuredSig);
        site.Put("/default/Updater.ini", c.fallbackIni);
        site.Put("/default/Updater.ini.sig", c.fallbackSig);
        site.Put("/cfg/tool.sh", kTool);
        site.Put("/default/tool.sh", kTool);
        runtime.Messages.clear();
        os.opened.clear();
        dir.Write("Updater.log", "");
        Run(true, "", c.visual);
        EXPECT_TRUE(errorUpdating);
        EXPECT_NE(LastError().find("Update error: " + c.text), std::string::npos) << LastError();
        if (c.visual) {
            EXPECT_TRUE(InMemoBoldRed(c.text));
        }
        EXPECT_TRUE(Logged(c.text));
        EXPECT_TRUE(os.opened.empty());
        EXPECT_EQ(dir.Read("Updater_Local.ini"), localIni) << "the local INI is not saved";
        EXPECT_EQ(ProgramFiles(), (std::vector<std::string>{"Updater.log", "Updater_LastRun.ini", "Updater_Local.ini"}))
            << "nothing was downloaded";
    }
}

TEST_F(PublisherTrust, AFileThatBreaksItsPromiseIsRefusedAndTheInstalledOneKept) {
    const std::string size = std::to_string(kTool.size());
    std::string sameSizeOtherBytes = kTool;
    sameSizeOtherBytes[2] = 'X';
    struct Case {
        const char* what;
        bool withKey;
        std::string entry, served;
        std::string text;
        bool visual = false;
    } cases[] = {
        {"content differs from its SHA256", true, ToolEntry(Sha(kTool), size), sameSizeOtherBytes,
         "The download of tool.sh was refused: tool.sh does not match the SHA256", true},
        {"content differs, no key: a given hash still holds", false, ToolEntry(Sha(kTool), ""), sameSizeOtherBytes,
         "The download of tool.sh was refused: tool.sh does not match the SHA256"},
        {"longer than its SIZE", true, ToolEntry(Sha(kTool), std::to_string(kTool.size() - 1)), kTool,
         "The download of tool.sh was stopped: it grew past the " + std::to_string(kTool.size() - 1) + " bytes"},
        {"shorter than its SIZE", true, ToolEntry(Sha(kTool), std::to_string(kTool.size() + 1)), kTool,
         "The download of tool.sh was refused: tool.sh is " + size + " bytes long, not the " +
             std::to_string(kTool.size() + 1) + " bytes"},
        {"no hash under a key", true, ToolEntry("", size), kTool,
         "The download of tool.sh was refused: the server INI gives no FILE0SHA256 for it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Publish("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\n" + c.entry, &key);
        site.Put("/cfg/tool.sh", c.served);
        dir.Write("tool.sh", "installed");
        runtime.Messages.clear();
        os.opened.clear();
        Run(c.withKey, "", c.visual);
        if (c.visual) {
            EXPECT_TRUE(InMemoBoldRed(c.text));
        }
        EXPECT_TRUE(errorUpdating);
        EXPECT_NE(LastError().find("Update error: " + c.text), std::string::npos) << LastError();
        EXPECT_EQ(dir.Read("tool.sh"), "installed");
        EXPECT_FALSE(dir.Exists("Temp"));
        EXPECT_TRUE(os.opened.empty());
        EXPECT_EQ(dir.Read("Updater_Local.ini"), localIni);
    }
}

TEST_F(PublisherTrust, ADownloadGrowingPastItsSizeIsStoppedWhileThePeerStillSends) {
    constexpr int64_t kOffered = int64_t(256) << 20;
    std::atomic<int64_t> sent{0};
    ScriptedServer files;
    files.Accept().ExpectRequest().Custom([&](int fd) {
        const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kOffered) + "\r\n\r\n";
        ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
        const std::string block(1 << 16, 'x');
        while (sent < kOffered) {
            const ssize_t n = ::send(fd, block.data(), block.size(), MSG_NOSIGNAL);
            if (n <= 0) break;  // the client has gone
            sent += n;
        }
    });
    files.Start();
    // The server INI (unsigned, no key) sends the file download to the scripted server.
    site.Put("/cfg/Updater.ini",
             kHeader + "SERVERPATH=" + files.Url("/") + "\r\nFILECOUNT=1\r\n" + ToolEntry("", "1000"));
    extraLocal = "SERVERPATH=" + site.Url("/cfg/") + "\r\n";
    dir.Write("tool.sh", "installed");
    Run(false, "from the local INI");
    files.Requests();
    EXPECT_TRUE(errorUpdating);
    EXPECT_NE(LastError().find("The download of tool.sh was stopped: it grew past the 1000 bytes"), std::string::npos)
        << LastError();
    EXPECT_LT(sent, kOffered / 8) << "the client left long before the end";
    EXPECT_EQ(dir.Read("tool.sh"), "installed");
    EXPECT_FALSE(dir.Exists("Temp"));
    EXPECT_TRUE(Logged("No PUBLICKEY in the local INI: the server INI is not checked against a publisher's key."));
}

// What a signed edition says of itself decides, after its signature, whether it is used: an
// older SERIAL, an expiry in the past or another channel is refused and nothing of it is used.
TEST_F(PublisherTrust, AnOldExpiredOrForeignEditionIsRefusedAndTheFilesKept) {
    const std::string cfg = site.Url("/cfg/Updater.ini");
    struct Case {
        const char* what;
        std::string local;   // besides CONSOLE and PUBLICKEY
        std::string header;  // the edition's own lines
        std::string text;    // the refusal; empty: the edition is used
        std::string keptSerial;
    } cases[] = {
        {"older serial", "SERIAL=5\r\n", "SERIAL=4\r\n",
         "The server INI at " + cfg + " is SERIAL 4, older than SERIAL 5 that this workstation has already taken", "5"},
        {"the same serial", "SERIAL=5\r\n", "SERIAL=5\r\n", "", "5"},
        {"a newer serial is kept", "SERIAL=5\r\n", "SERIAL=12\r\n", "", "12"},
        {"the first serial", "", "SERIAL=1\r\n", "", "1"},
        {"no serial after one", "SERIAL=5\r\n", "",
         "The server INI at " + cfg + " carries no SERIAL, and this workstation has already taken SERIAL 5", "5"},
        {"no serial yet, none kept", "", "", "", ""},
        {"a serial that is no number", "", "SERIAL=7a\r\n",
         "The server INI at " + cfg + " gives SERIAL \"7a\", which is not a positive whole number", ""},
        {"expired", "", "SERIAL=2\r\nEXPIRES=2020-01-31T00:00:00Z\r\n",
         "The server INI at " + cfg + " has expired: it was valid until 2020-01-31T00:00:00Z.", ""},
        {"not yet expired", "", "EXPIRES=2999-01-01T00:00:00Z\r\n", "", ""},
        {"an expiry in another form", "", "EXPIRES=2999-01-01\r\n",
         "The server INI at " + cfg + " gives EXPIRES \"2999-01-01\", which is not a UTC time", ""},
        {"beta list, default workstation", "", "CHANNEL=beta\r\n",
         "The server INI at " + cfg + " is for the channel \"beta\", and this workstation follows the default channel",
         ""},
        {"beta list, beta workstation", "CHANNEL=Beta\r\n", "CHANNEL=beta\r\n", "", ""},
        {"default list, beta workstation", "CHANNEL=beta\r\n", "",
         "The server INI at " + cfg + " is for the default channel, and this workstation follows the channel \"beta\"",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Publish("/cfg/Updater.ini", kHeader + c.header + "FILECOUNT=1\r\n" + ToolEntry(Sha(kTool), ""), &key);
        site.Put("/cfg/tool.sh", kTool);
        dir.Write("tool.sh", "installed");
        runtime.Messages.clear();
        os.opened.clear();
        extraLocal = c.local;
        Run();
        if (c.text.empty()) {
            EXPECT_FALSE(errorUpdating) << LastError();
            EXPECT_EQ(dir.Read("tool.sh"), kTool);
        } else {
            EXPECT_TRUE(errorUpdating);
            EXPECT_NE(LastError().find("Update error: " + c.text), std::string::npos) << LastError();
            EXPECT_TRUE(Logged(c.text));
            EXPECT_EQ(dir.Read("tool.sh"), "installed");
            EXPECT_TRUE(os.opened.empty());
        }
        EXPECT_EQ(LocalValue("SERIAL"), c.keptSerial);
    }
}

TEST_F(PublisherTrust, APublisherMovesEveryWorkstationToANewKeyWithOneEdition) {
    PublisherKey third;
    std::string error;
    ASSERT_TRUE(MakePublisherKey(keys.Path(), "third", third, error)) << error;
    const std::string entry = "FILECOUNT=1\r\n" + ToolEntry(Sha(kTool), "") + "FILE0EXECUTE=NEVER\r\n";
    site.Put("/cfg/tool.sh", kTool);

    // Edition 1, signed by the old key, names the new one.
    Publish("/cfg/Updater.ini", kHeader + "SERIAL=1\r\nNEWPUBLICKEY=" + other.PublicBase64 + "\r\n" + entry, &key);
    Run();
    ASSERT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(LocalValue("PUBLICKEY"), other.PublicBase64);
    EXPECT_TRUE(Logged("The signed server INI names a new publisher's key"));

    // Edition 2, signed by the new key alone, is taken; the old key no longer counts.
    Publish("/cfg/Updater.ini", kHeader + "SERIAL=2\r\n" + entry, &other);
    Update();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(LocalValue("SERIAL"), "2");
    for (const PublisherKey* signer : {&third, &key}) {
        Publish("/cfg/Updater.ini", kHeader + "SERIAL=3\r\n" + entry, signer);
        runtime.Messages.clear();
        Update();
        EXPECT_TRUE(errorUpdating);
        EXPECT_NE(LastError().find("does not match its signature"), std::string::npos) << LastError();
        EXPECT_EQ(LocalValue("SERIAL"), "2");
    }

    // Several keys, comma-separated: an edition signed by any of them is taken.
    extraLocal = "";
    Publish("/cfg/Updater.ini", kHeader + "SERIAL=4\r\n" + entry, &third);
    dir.Write("Updater_Local.ini", "CONSOLE=\r\nPUBLICKEY=" + other.PublicBase64 + " , " + third.PublicBase64 + "\r\n");
    Update();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(LocalValue("SERIAL"), "4");
}

TEST_F(PublisherTrust, ANewKeyIsTakenOnlyFromASignedEditionAndARunWithoutError) {
    const std::string cfg = site.Url("/cfg/Updater.ini");
    struct Case {
        const char* what;
        std::string newKey;
        bool withKey;
        bool fileMatches;  // otherwise its download is refused and the run ends in an error
        std::string publicKeyAfter;
    } cases[] = {
        {"a run that failed", other.PublicBase64, true, false, key.PublicBase64},
        {"an unsigned site", other.PublicBase64, false, true, ""},
        {"a key that is no key", "bm90IGEga2V5", true, true, key.PublicBase64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Publish("/cfg/Updater.ini",
                kHeader + "NEWPUBLICKEY=" + c.newKey + "\r\nFILECOUNT=1\r\n" + ToolEntry(Sha(kTool), ""),
                c.withKey ? &key : nullptr);
        site.Put("/cfg/tool.sh", c.fileMatches ? kTool : kTool + "#");
        dir.Write("tool.sh", "installed");
        Run(c.withKey);
        EXPECT_EQ(LocalValue("PUBLICKEY"), c.publicKeyAfter);
    }
    EXPECT_NE(LastError().find("The server INI at " + cfg + " gives a NEWPUBLICKEY that is not the base64 text"),
              std::string::npos)
        << LastError();
}
}  // namespace
