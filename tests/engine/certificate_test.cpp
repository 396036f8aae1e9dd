// Every https connection of the updater checks the server's certificate: the server INI, the
// files and the status upload's sender, against nginx on loopback with certificates of a test
// CA (named by CAFILE), an expired one, one for another host and a self-signed one.
#include <memory>

#include "http/tls_verification.h"
#include "http/zel_http_send.h"
#include "platform/os_services.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/real_peers.h"
#include "tests/support/test_keys.h"

using namespace http;
using namespace platform;

namespace {
struct RecordingOS : TOSServices {
    std::vector<std::string> opened;
    int ShellOpen(const std::string& FileName, const std::string&, const std::string&) override {
        opened.push_back(FileName);
        return 42;
    }
};

enum TServer { kGood, kSelfSigned, kExpired, kOtherHost, kServerCount };

class Certificates : public EngineTest {
protected:
    static void SetUpTestSuite() {
        certs = new TempDir("zelcerts");
        root = new TempDir("zelroot");
        TestCA ca;
        ASSERT_TRUE(MakeTestCA(certs->Path(), ca, error)) << error;
        caPem = ReadWholeFile(ca.CertFile);
        const TCertKind kinds[] = {TCertKind::SignedByCA, TCertKind::SelfSigned, TCertKind::Expired,
                                   TCertKind::OtherHost};
        root->Write("tool.sh", "new tool");
        for (int s = 0; s < kServerCount; ++s) {
            TestCertificate cert;
            ASSERT_TRUE(MakeServerCertificate(certs->Path(), "server" + std::to_string(s), ca, kinds[s], cert, error))
                << error;
            servers[s] = new NginxServer(root->Path(), true, &cert);
            ASSERT_TRUE(servers[s]->Started()) << servers[s]->Error();
        }
        root->Write("Updater.ini", "FOUNDIT\r\nFILECOUNT=1\r\nFILE0NAME=tool.sh\r\nFILE0VERSION=1.0.0.0\r\n");
        // The same list, its files to be fetched from each https server.
        for (int s = 0; s < kServerCount; ++s)
            root->Write("via" + std::to_string(s) + "/Updater.ini",
                        "FOUNDIT\r\nSERVERPATH=" + Https(TServer(s), "/") +
                            "\r\nFILECOUNT=1\r\nFILE0NAME=tool.sh\r\nFILE0VERSION=1.0.0.0\r\n");
    }
    static void TearDownTestSuite() {
        for (auto*& s : servers) delete s, s = nullptr;
        delete root;
        delete certs;
    }
    void SetUp() override {
        EngineTest::SetUp();
        SetOSServices(&os);
        dir.Write("ca.pem", caPem);
        dir.Write("tool.sh", "installed");
    }
    void TearDown() override {
        SetOSServices(nullptr);
        SetTLSVerifyDefaults({});
        EngineTest::TearDown();
    }
    // The wrong-host certificate is reached by name, the others by address.
    static std::string Https(TServer s, const std::string& path) {
        const std::string url = servers[s]->HttpsUrl(path);
        return s == kOtherHost ? "https://localhost" + url.substr(url.rfind(':')) : url;
    }
    // ServerPath empty: the local INI names the location, so the server INI's SERVERPATH leads.
    void Run(const std::string& serverPath, const std::string& local) {
        dir.Write("Updater_Local.ini", "CONSOLE=\r\n" + local);
        dir.Write("Updater.log", "");
        dir.Write("tool.sh", "installed");
        runtime.Messages.clear();
        if (serverPath.empty())
            Params({"DEBUG"});
        else
            Params({"DEBUG", "SERVERPATH=" + serverPath});
        auto form = MakeForm<>();
        form->Start();
        errorUpdating = form->ErrorUpdating();
    }
    // A status upload as the product makes it: a fresh sender after the update's start.
    std::string Upload(TServer s) {
        TzelHttpSend sender;
        TStringList reply;
        try {
            sender.PostURL(Https(s, "/scripts/zelisapi.dll/runningupload"), "a=b", reply);
        } catch (const EUpdaterError& e) {
            return e.Message();
        }
        return "";
    }
    std::string LastError() const { return runtime.Messages.empty() ? "" : runtime.Messages.back(); }
    bool Logged(const std::string& text) const {
        for (const auto& t : LogTexts())
            if (t == text) return true;
        return false;
    }

    static inline TempDir* certs = nullptr;
    static inline TempDir* root = nullptr;
    static inline NginxServer* servers[kServerCount] = {};
    static inline std::string caPem, error;
    RecordingOS os;
    bool errorUpdating = false;
};

TEST_F(Certificates, ACertificateOfTheNamedCAPasses) {
    Run(Https(kGood, "/"), "CAFILE=ca.pem\r\n");
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(dir.Read("tool.sh"), "new tool");
    EXPECT_EQ(Upload(kGood), "");
    EXPECT_FALSE(Logged("TLSVERIFY=0 in the local INI: the certificates of https servers are not checked."));

    // Without CAFILE the test CA is nobody's: the system's store does not know it.
    Run(Https(kGood, "/"), "");
    EXPECT_NE(LastError().find("TCP/IP Socket error 10091: The certificate of 127.0.0.1 is not issued by a trusted "
                               "certificate authority"),
              std::string::npos)
        << LastError();
    EXPECT_EQ(dir.Read("tool.sh"), "installed");
}

TEST_F(Certificates, EachBadCertificateFailsWithItsTextForTheIniAFileAndTheUpload) {
    struct Case {
        TServer server;
        std::string text;
    } cases[] = {
        {kSelfSigned, "The certificate of 127.0.0.1 is self-signed and not trusted"},
        {kExpired, "The certificate of 127.0.0.1 has expired"},
        {kOtherHost, "The certificate of localhost is issued for another host name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string socketError = "TCP/IP Socket error 10091: " + c.text;
        Run(Https(c.server, "/"), "CAFILE=ca.pem\r\n");
        EXPECT_TRUE(errorUpdating);
        EXPECT_NE(LastError().find(socketError), std::string::npos) << "server INI: " << LastError();

        Run("", "CAFILE=ca.pem\r\nSERVERPATH=" + servers[kGood]->Url("/via" + std::to_string(c.server) + "/") + "\r\n");
        EXPECT_TRUE(errorUpdating);
        EXPECT_NE(LastError().find(socketError), std::string::npos) << "file: " << LastError();
        EXPECT_EQ(dir.Read("tool.sh"), "installed");
        EXPECT_TRUE(os.opened.empty());

        EXPECT_EQ(Upload(c.server), socketError) << "status upload";
    }
}

TEST_F(Certificates, TlsVerifyZeroConnectsToAnyAndSaysSo) {
    for (TServer s : {kSelfSigned, kExpired, kOtherHost}) {
        SCOPED_TRACE(s);
        Run(Https(s, "/"), "TLSVERIFY=0\r\n");
        EXPECT_FALSE(errorUpdating) << LastError();
        EXPECT_EQ(dir.Read("tool.sh"), "new tool");
        EXPECT_TRUE(Logged("TLSVERIFY=0 in the local INI: the certificates of https servers are not checked."));
        EXPECT_EQ(Upload(s), "");
    }
}
}  // namespace
