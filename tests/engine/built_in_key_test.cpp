// A vendor's build: the publisher's key is built in, so a workstation trusts it whatever its
// local INI says, and no unsigned server INI is used.
#include "tests/engine/update_fixture.h"
#include "tests/support/test_keys.h"
#include "trust/publisher_keys.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {

class BuiltInKey : public Update {
protected:
    void SetUp() override {
        Update::SetUp();
        vendor.PrivatePem = ZEL_VENDOR_KEY_PEM;
        std::string error;
        ASSERT_TRUE(MakePublisherKey(keys.Path(), "other", other, error)) << error;
    }
    // Serves Ini with a signature by Signer beside it (none when null).
    void Publish(const std::string& Ini, const PublisherKey* Signer) {
        site.Put("/cfg/Updater.ini", Ini);
        const std::string file = keys.Write("to-sign.ini", Ini);
        std::string error;
        if (Signer) {
            EXPECT_TRUE(SignWithOpenssl(*Signer, file, error)) << error;
        }
        site.Put("/cfg/Updater.ini.sig", Signer ? keys.Read("to-sign.ini.sig") : "");
    }
    TempDir keys{"zelkeys"};
    PublisherKey vendor, other;
};

TEST_F(BuiltInKey, TheBuiltInKeyIsAlwaysTrustedAndNeverDropped) {
    ASSERT_FALSE(trust::SplitKeys(trust::BuiltInPublisherKeys()).empty());
    const std::string ini = kHeader + "FILECOUNT=0\r\n";
    const std::string cfg = site.Url("/cfg/Updater.ini");
    struct Case {
        const char* what;
        std::string local;  // PUBLICKEY lines
        const PublisherKey* signer;
        bool used;
    } cases[] = {
        {"unsigned, no PUBLICKEY", "", nullptr, false},
        {"unsigned, empty PUBLICKEY", "PUBLICKEY=\r\n", nullptr, false},
        {"vendor-signed, no PUBLICKEY", "", &vendor, true},
        {"vendor-signed, PUBLICKEY names another key", "PUBLICKEY=" + other.PublicBase64 + "\r\n", &vendor, true},
        {"signed by the key the local INI adds", "PUBLICKEY=" + other.PublicBase64 + "\r\n", &other, true},
        {"signed by another key, none added", "", &other, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Publish(ini, c.signer);
        local = c.local;
        runtime.Messages.clear();
        RunNonVisual();
        EXPECT_EQ(errorUpdating, !c.used) << LastError();
        if (!c.used) {
            const std::string why = c.signer ? "The server INI at " + cfg + " does not match its signature"
                                             : "The server INI at " + cfg + " is not signed";
            EXPECT_NE(LastError().find(why), std::string::npos) << LastError();
        }
    }
}

TEST_F(BuiltInKey, AKeyRotationAddsToTheBuiltInKey) {
    Publish(kHeader + "SERIAL=1\r\nNEWPUBLICKEY=" + other.PublicBase64 + "\r\nFILECOUNT=0\r\n", &vendor);
    RunNonVisual();
    ASSERT_FALSE(errorUpdating) << LastError();
    EXPECT_NE(LocalIni().find("PUBLICKEY=" + other.PublicBase64 + "\r\n"), std::string::npos) << LocalIni();
    for (const PublisherKey* signer : {&other, &vendor}) {
        Publish(kHeader + "SERIAL=2\r\nFILECOUNT=0\r\n", signer);
        Run();
        EXPECT_FALSE(errorUpdating) << LastError();
    }
}
}  // namespace
