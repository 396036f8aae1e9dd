// Proceed for a real click: the contact dialog and its file, the run, and the status upload
// as the support service receives it.
#include <algorithm>
#include <filesystem>

#include "platform/ini_file.h"
#include "product/status_upload.h"
#include "tests/product/product_fixture.h"
#include "tests/support/scripted_server.h"
#include "ui/contact_dialog.h"

using namespace platform;
using namespace product;
using namespace ui;

namespace {
TEST(StatusUpload, EncodingAndBody) {
    struct Case {
        std::string value, encoded;
    } cases[] = {
        {"Ann Smith & Co.", "Ann+Smith+%26+Co."},
        {"ann.smith@example.com", "ann.smith@example.com"},
        {"!$'()*-._", "!$'()*-._"},
        {"~", "%7E"},
        {"\"#%+,/:;=?", "%22%23%25%2B%2C%2F%3A%3B%3D%3F"},
        {"<>[]\\^`{|}", "%3C%3E%5B%5D%5C%5E%60%7B%7C%7D"},
        {"\xC3\xA9", "%E9"},      // é in Windows-1252
        {"\xE2\x82\xAC", "%80"},  // the euro sign is in it too
        {"\xCE\xA9", "%3F"},      // Ω is not: "?"
        {"a\tb\x7F", "a%09b%7F"},
        {"", ""},
    };
    for (const auto& c : cases) {
        TStatusUpload u{"1", "2", "3", c.value, c.value};
        EXPECT_EQ(StatusUploadBody(u),
                  "CurrentVer=1&PastVer=2&LocalNum=3&ProgCode=BQ+EXPRESS&UnionCode=KORV"
                  "&ActionCode=SCRIPT_UPDATER&ContactName=" +
                      c.encoded + "&ContactEMail=" + c.encoded)
            << c.value;
    }
    EXPECT_EQ(EncodeFormValue(std::string_view("ab\0cd", 5)), "ab") << "stops at a zero byte";
    EXPECT_EQ(EncodeFormValue("\xFF\x01"), "%FF%01");
    for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
             {"12", "0012"}, {"12345", "12345"}, {"", "0000"}, {"-5", "00-5"}, {"1234", "1234"}})
        EXPECT_EQ(PadLocalNum(in), out) << in;
}

class Upload : public ProductTest {
protected:
    void SetUp() override {
        ProductTest::SetUp();
        ScriptUpdaterDue();
        ServerIni(ScriptEntries(1));
    }
    static std::string ScriptEntries(int times) {
        std::string ini = "FILECOUNT=" + std::to_string(times + 1) + "\r\n";
        for (int i = 0; i < times; ++i)
            ini += "FILE" + std::to_string(i) + "NAME=" + kScriptUpdaterName + "\r\nFILE" + std::to_string(i) +
                   "VERSION=5.1.0.0\r\n";
        ini += "FILE" + std::to_string(times) + "NAME=next.sh\r\nFILE" + std::to_string(times) + "VERSION=0.0.0.0\r\n";
        return ini;
    }
    // The support service answers each upload with Reply.
    void Serve(ScriptedServer& server, int uploads, const std::string& reply = "OK, Got It\r\n") {
        for (int i = 0; i < uploads; ++i)
            server.Accept()
                .ExpectRequest()
                .Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(reply.size()) + "\r\n\r\n" + reply)
                .Close();
        server.Start();
        supportUrl = server.Url("/scripts/zelisapi.dll/runningupload");
    }
    // Answers the contact dialogs in turn: OK with the texts, or closed without OK.
    struct Answer {
        bool ok;
        std::string name, email;
    };
    void AnswerDialogs(std::vector<Answer> answers) {
        runtime.OnShowModal = [this, answers, i = size_t(0)](TForm& f) mutable {
            auto& d = static_cast<TContactDialog&>(f);
            shown.push_back({d.Label1.Caption, d.ContactNameEdit.Text, d.EmailEdit.Text});
            if (i >= answers.size()) return mrCancel;
            const Answer a = answers[i++];
            if (!a.ok) return mrCancel;
            d.ContactNameEdit.Text = a.name;
            d.EmailEdit.Text = a.email;
            return mrOk;
        };
    }
    void ClickProceedEveryWait() {
        runtime.onPump = [this] {
            if (form && form->ProceedBitBtn.Enabled && !form->Decided()) form->ProceedBitBtn.Click();
        };
    }
    static std::string Body(const std::string& request) { return request.substr(request.find("\r\n\r\n") + 4); }
    int Lines(const std::string& text) const {
        const auto memo = MemoTexts();
        return int(std::count(memo.begin(), memo.end(), text));
    }
    struct Shown {
        std::string label, name, email;
    };
    std::vector<Shown> shown;
};

TEST_F(Upload, ProceedAsksRunsAndUploads) {
    ScriptedServer server;
    Serve(server, 1);
    Write("Utils/Contact.ini", "[MAIN]\r\nContact=Old Name\r\nEmail=old@example.com\r\n");
    AnswerDialogs({{true, "Ann Smith & Co.", "ann@example.com"}});
    // The update program rewrites the params file: the upload carries what stood before.
    os.onRun = [this](const std::string&) {
        TIniFile(Program() + "BrinquetExpressUpdaterParams.ini").WriteString("Settings", "Old_File_Version", "9.9.9.9");
    };
    ClickProceedWhenWaiting();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].label, "Please take a moment to provide a contact name and email to receive information about " +
                                  kBrinquet + ".");
    EXPECT_EQ(shown[0].name, "Old Name");
    EXPECT_EQ(shown[0].email, "old@example.com");
    EXPECT_EQ(Read("Utils/Contact.ini"), "[MAIN]\r\nContact=Ann Smith & Co.\r\nEmail=ann@example.com\r\n");

    const std::string request = server.Request(0);
    EXPECT_EQ(request.rfind("POST /scripts/zelisapi.dll/runningupload HTTP/1.0\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: Mozilla/4.0+(compatible;+MSIE+6.0;+Windows+NT+5.1;+SV1)\r\n"),
              std::string::npos)
        << request;
    EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << request;
    EXPECT_EQ(Body(request),
              "CurrentVer=5.1.0.0&PastVer=5.0.2.0&LocalNum=0012&ProgCode=BQ+EXPRESS&UnionCode=KORV"
              "&ActionCode=SCRIPT_UPDATER&ContactName=Ann+Smith+%26+Co.&ContactEMail=ann@example.com");
    EXPECT_EQ(Lines("Uploaded current version status."), 1);
    EXPECT_EQ(form->JobLabel.Caption, "Done.");
    EXPECT_EQ(os.opened.size(), 2u) << "the list went on to next.sh";
}

TEST_F(Upload, ALineBreakTypedIntoTheContactDialogEndsTheValue) {
    ScriptedServer server;
    Serve(server, 1);
    AnswerDialogs({{true, "Ann\r\n[Settings]\r\nLocalNumber=666", std::string("ann@example.com\0x", 17)}});
    ClickProceedWhenWaiting();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(Read("Utils/Contact.ini"), "[MAIN]\r\nContact=Ann\r\nEmail=ann@example.com\r\n");
}

TEST_F(Upload, LocalNumbersAsSent) {
    for (const auto& [settings, sent] :
         std::vector<std::pair<std::string, std::string>>{{"LocalNumber=12345", "12345"}, {"LocalNumber=-5", "00-5"}}) {
        SCOPED_TRACE(settings);
        ScriptedServer server;
        Serve(server, 1);
        InstallSettings(settings);
        std::filesystem::remove(Program() + kScriptUpdaterName);
        AnswerDialogs({});
        ClickProceedWhenWaiting();
        LocalIni("");
        EXPECT_EQ(Run(), "");
        const std::string body = Body(server.Request(0));
        EXPECT_NE(body.find("&LocalNum=" + sent + "&"), std::string::npos) << body;
        EXPECT_NE(body.find("&ContactName=&ContactEMail="), std::string::npos) << "never confirmed: empty; " << body;
    }
}

TEST_F(Upload, RepliesFailuresAndWhatIsNotSent) {
    struct Case {
        const char* what;
        std::string reply;
        int uploadedLines;
    } cases[] = {
        {"Got It anywhere", "Status: recorded. Got It, thanks\r\n", 1},
        {"got it in small letters", "got it\r\n", 0},
        {"an empty reply", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server;
        Serve(server, 1, c.reply);
        std::filesystem::remove(Program() + kScriptUpdaterName);
        AnswerDialogs({});
        ClickProceedWhenWaiting();
        LocalIni("");
        EXPECT_EQ(Run(), "");
        EXPECT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(Lines("Uploaded current version status."), c.uploadedLines);
    }
}

TEST_F(Upload, AFailedRunSendsNothing) {
    // supportUrl names a port nobody listens on: any attempt would show as an error.
    ServerIni("FILECOUNT=1\r\nFILE0NAME=" + std::string(kScriptUpdaterName) +
              "\r\nFILE0VERSION=5.1.0.0\r\nFILE0WAIT=5000\r\n");
    os.codes = {0};
    AnswerDialogs({});
    ClickProceedWhenWaiting();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(os.waited.size(), 1u);
    EXPECT_EQ(Lines("=== Error ==="), 0);
    EXPECT_EQ(Lines("Uploaded current version status."), 0);
    EXPECT_TRUE(InMemo("Installation Ready\r" + kBrinquet + " was not updated."));
}

// The upload belongs to the update program named exactly as written: the same name in other
// letters runs as the update program but records nothing. supportUrl names a port nobody
// listens on, so an attempt would show as an error.
TEST_F(Upload, TheUpdateProgramInOtherLettersUploadsNothing) {
    const std::string other = "brinquetexpressscriptupdater.EXE";
    ASSERT_NE(other, kScriptUpdaterName);
    site.Put("/cfg/" + other, Versioned(5, 1, 0, 0));
    ServerIni("FILECOUNT=1\r\nFILE0NAME=" + other + "\r\nFILE0VERSION=5.1.0.0\r\n");
    AnswerDialogs({});
    ClickProceedWhenWaiting();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(os.opened, std::vector<std::string>{Program() + other + " /s"}) << "it ran after Proceed";
    EXPECT_EQ(Lines("=== Error ==="), 0);
    EXPECT_EQ(Lines("Uploaded current version status."), 0);
}

TEST_F(Upload, ATransportFailureIsReportedAndTheUpdateFinishes) {
    AnswerDialogs({});
    ClickProceedWhenWaiting();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    const auto memo = MemoTexts();
    auto at = std::find(memo.begin(), memo.end(), "=== Error ===");
    ASSERT_NE(at, memo.end());
    ASSERT_NE(at + 1, memo.end());
    EXPECT_EQ((at + 1)->rfind(kBrinquet +
                                  " updater is having trouble communicating with Halvane Web Site to log your "
                                  "update status.\rPlease call " +
                                  kBrinquet +
                                  " Support at 800-555-0142.\rThe specific error message is: TCP/IP Socket error 10061",
                              0),
              0u)
        << *(at + 1);
    EXPECT_TRUE(form->Decided());
    EXPECT_EQ(os.opened, (std::vector<std::string>{Program() + kScriptUpdaterName + " /s", Program() + "next.sh /s"}));
    EXPECT_EQ(form->JobLabel.Caption, "Done.");
    EXPECT_TRUE(InMemo("Finished all update processes."));
    EXPECT_EQ(Read("Updates/BrinquetExpressUpdater_Local.ini"),
              Support() + "FILE0RAN=TRUE\r\nFILE0RANNAME=" + std::string(kScriptUpdaterName) +
                  "\r\nFILE1RAN=TRUE\r\nFILE1RANNAME=next.sh\r\n");
}

TEST_F(Upload, ANonVisualRunUploadsOnceWithTheContactFile) {
    ScriptedServer server;
    Serve(server, 1);
    Write("Utils/Contact.ini", "[MAIN]\r\nContact=Caf\xE9 Owner\r\nEmail=owner@example.com\r\n");
    AnswerDialogs({{true, "never asked", ""}});
    LocalIni("CONSOLE=\r\n");
    EXPECT_EQ(Run(), "");
    EXPECT_TRUE(shown.empty());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(Body(requests[0]).find("&ContactName=Caf%E9+Owner&ContactEMail=owner@example.com"), std::string::npos)
        << requests[0];
    EXPECT_TRUE(Logged("Uploaded current version status."));
}

TEST_F(Upload, ASecondProceedIsPrefilledAndCancellingKeepsTheConfirmedValues) {
    ScriptedServer server;
    Serve(server, 2);
    ServerIni(ScriptEntries(2));
    AnswerDialogs({{true, "Ann", "ann@x.org"}, {false, "", ""}});
    // Between the two, the file changes under the updater; the dialog shows the file.
    os.onRun = [this](const std::string&) {
        Write("Utils/Contact.ini", "[MAIN]\r\nContact=Bob\r\nEmail=bob@x.org\r\n");
    };
    ClickProceedEveryWait();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].name, "Bob");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& r : requests)
        EXPECT_NE(Body(r).find("&ContactName=Ann&ContactEMail=ann@x.org"), std::string::npos) << r;
    EXPECT_EQ(form->ContactName(), "Ann");
}

TEST_F(Upload, AMissingUtilsFolderIsSwallowed) {
    ScriptedServer server;
    Serve(server, 1);
    std::filesystem::remove_all(Root() + "Utils");
    AnswerDialogs({{true, "Ann", "ann@x.org"}});
    ClickProceedWhenWaiting();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_FALSE(Exists("Utils"));
    EXPECT_NE(Body(server.Request(0)).find("&ContactName=Ann&ContactEMail=ann@x.org"), std::string::npos);
    EXPECT_EQ(Lines("=== Error ==="), 0);
}
}  // namespace

namespace {
TEST_F(Upload, TheLastRunRecordTellsTheProductsOutcome) {
    const std::string unreachable = supportUrl;
    struct Case {
        const char* what;
        bool serve;
        std::string reply;
        bool unattended, current;
        const char *due, *ran, *upload;
        int exitCode;  // with EXITCODES
    } cases[] = {
        {"a failed upload, unattended", false, "", true, false, "TRUE", "TRUE", "UploadFailed", 4},
        {"uploaded", true, "OK, Got It\r\n", false, false, "TRUE", "TRUE", "Uploaded", 0},
        {"a reply that does not confirm", true, "", false, false, "TRUE", "TRUE", "UploadFailed", 4},
        {"the application is current", false, "", true, true, "FALSE", "FALSE", "NotDue", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server;
        supportUrl = unreachable;
        if (c.serve) Serve(server, 1, c.reply);
        Write("Admin/BQKORVEXP.exe", c.current ? Versioned(5, 1, 0, 0) : Versioned(5, 0, 2, 0));
        std::filesystem::remove(Program() + kScriptUpdaterName);
        AnswerDialogs({});
        ClickProceedWhenWaiting();
        LocalIni(c.unattended ? "CONSOLE=\r\n" : "");
        runtime.Messages.clear();
        EXPECT_EQ(Run({"EXITCODES"}), "");
        form.reset();
        const TIniFile record(Program() + "BrinquetExpressUpdater_LastRun.ini");
        EXPECT_EQ(record.ReadString("Product", "ScriptUpdaterDue", "?"), c.due);
        EXPECT_EQ(record.ReadString("Product", "ScriptUpdaterRan", "?"), c.ran);
        EXPECT_EQ(record.ReadString("Product", "Upload", "?"), c.upload);
        EXPECT_EQ(record.ReadString("LastRun", "ExitCode", "?"), std::to_string(c.exitCode));
        EXPECT_EQ(engine::LastRunExitCode(), c.exitCode);
        const std::string error = record.ReadString("Product", "UploadError", "?");
        EXPECT_EQ(error.empty(), std::string(c.upload) != "UploadFailed") << error;
        if (c.unattended && !c.current) {
            // Unattended, the failed upload goes to standard error like every other error.
            ASSERT_EQ(runtime.Messages.size(), 1u);
            EXPECT_EQ(runtime.Messages[0].rfind(kBrinquet + " updater is having trouble communicating", 0), 0u)
                << runtime.Messages[0];
        }
    }
}
}  // namespace
