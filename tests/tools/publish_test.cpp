// zelupdtool publish and check-ini on a copy of the demo site, checked with the openssl
// command line as a publisher would before uploading.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_keys.h"

namespace {
std::string Tool(const std::string& args) { return std::string(ZELUPDTOOL) + " " + args + " 2>&1"; }

class Publish : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy(std::string(ZEL_SOURCE_DIR) + "/demo/site", site.Path(),
                              std::filesystem::copy_options::recursive);
        original = site.Read(kIni);
        // The library is offered at a newer version than the INI states: publish updates it.
        const CommandResult pe = RunCommand("python3 " + std::string(ZEL_SOURCE_DIR) + "/demo/make_versioned_pe.py " +
                                            site.File("BrinquetTool.dll") + " 2.2.0.7");
        ASSERT_EQ(pe.code, 0) << pe.output;
        std::string error;
        ASSERT_TRUE(MakePublisherKey(keys.Path(), "publisher", key, error)) << error;
        ASSERT_TRUE(MakePublisherKey(keys.Path(), "other", other, error)) << error;
    }
    std::string Sha(const std::string& file) {
        return RunCommand("sha256sum " + site.File(file) + " | cut -c1-64").output.substr(0, 64);
    }
    std::string Size(const std::string& file) { return std::to_string(std::filesystem::file_size(site.File(file))); }

    static constexpr const char* kIni = "BrinquetExpressUpdater.ini";
    TempDir site{"zelsite"}, keys{"zelkeys"};
    PublisherKey key, other;
    std::string original;
};

TEST_F(Publish, FillsInVersionsHashesAndSizesOnlyAndSigns) {
    const CommandResult r = RunCommand(Tool("publish " + site.Path() + " --key " + key.PrivatePem));
    ASSERT_EQ(r.code, 0) << r.output;
    // Everything the publisher wrote stays, in its place; entry 1's file is not on the site.
    std::string expected = original;
    const std::string eol = original.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    auto replace = [&](const std::string& from, const std::string& to) {
        const size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    };
    replace("FILECOUNT=4" + eol, "FILECOUNT=4" + eol + "SERIAL=1" + eol);
    replace("FILE0VERSION=2.1.0.5" + eol, "FILE0VERSION=2.2.0.7" + eol);
    replace("FILE0EXECUTE=NEVER" + eol, "FILE0EXECUTE=NEVER" + eol + "FILE0SHA256=" + Sha("BrinquetTool.dll") + eol +
                                            "FILE0SIZE=" + Size("BrinquetTool.dll") + eol);
    const std::string message = "FILE3MESSAGE=Collect information about this workstation for support?" + eol;
    replace(message,
            message + "FILE3SHA256=" + Sha("collect-info.sh") + eol + "FILE3SIZE=" + Size("collect-info.sh") + eol);
    EXPECT_EQ(site.Read(kIni), expected);
    EXPECT_NE(expected.find("FILE3VERSION=1.0.0.0" + eol), std::string::npos) << "a script has no version resource";

    const CommandResult verify = RunCommand("openssl dgst -sha256 -verify " + key.PublicPem + " -signature " +
                                            site.File(std::string(kIni) + ".sig") + " " + site.File(kIni) + " 2>&1");
    EXPECT_EQ(verify.code, 0) << verify.output;

    // Published again: a new edition, with nothing else to change.
    const CommandResult again = RunCommand(Tool("publish " + site.Path()));
    EXPECT_EQ(again.code, 0) << again.output;
    replace("SERIAL=1" + eol, "SERIAL=2" + eol);
    EXPECT_EQ(site.Read(kIni), expected);
}

TEST_F(Publish, WritesTheEditionsSerialExpiryAndNewKey) {
    const std::string pub = " --key " + key.PrivatePem;
    const CommandResult r =
        RunCommand(Tool("publish " + site.Path() + pub + " --serial 41 --expires 3 --new-public " + other.PublicPem));
    ASSERT_EQ(r.code, 0) << r.output;
    const std::string ini = site.Read(kIni);
    const std::string eol = original.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    EXPECT_NE(ini.find("FILECOUNT=4" + eol + "SERIAL=41" + eol + "EXPIRES=20"), std::string::npos) << ini;
    EXPECT_NE(ini.find(eol + "NEWPUBLICKEY=" + other.PublicBase64 + eol), std::string::npos) << ini;
    const CommandResult check = RunCommand(Tool("check-ini " + site.Path() + " --key " + key.PublicPem));
    EXPECT_EQ(check.code, 0) << check.output;
    for (const std::string& finding : std::vector<std::string>{
             "BrinquetExpressUpdater.ini: SERIAL 41\n", "warning: EXPIRES 20", "fewer than 7 days left",
             "CHANNEL: the default channel", "NEWPUBLICKEY " + other.PublicBase64, "the signature holds"})
        EXPECT_NE(check.output.find(finding), std::string::npos) << finding << "\n" << check.output;

    // The next edition raises the serial; one below the site's would be refused by every
    // workstation that took it, so publish refuses it.
    EXPECT_EQ(RunCommand(Tool("publish " + site.Path() + pub)).code, 0);
    EXPECT_NE(site.Read(kIni).find(eol + "SERIAL=42" + eol), std::string::npos);
    const std::string published = site.Read(kIni);
    const CommandResult lower = RunCommand(Tool("publish " + site.Path() + pub + " --serial 7"));
    EXPECT_EQ(lower.code, 1) << lower.output;
    EXPECT_NE(lower.output.find("--serial 7 is below the site's SERIAL 42"), std::string::npos) << lower.output;
    EXPECT_EQ(site.Read(kIni), published);
}

TEST_F(Publish, CheckIniVerifiesASiteBeforeItIsUploaded) {
    ASSERT_EQ(RunCommand(Tool("publish " + site.Path() + " --key " + key.PrivatePem)).code, 0);
    const std::string ini = site.Read(kIni), sig = site.Read(std::string(kIni) + ".sig");
    const std::string script = site.Read("collect-info.sh");
    struct Case {
        const char* what;
        std::function<void()> spoil;
        std::string keyFile;
        int code;
        std::string finding;
    } cases[] = {
        {"as published, PEM key", [] {}, key.PublicPem, 0, "the signature holds"},
        {"as published, PUBLICKEY text", [] {}, keys.Write("pub.txt", key.PublicBase64 + "\n"), 0,
         "the signature holds"},
        {"a file changed after publishing", [&] { site.Write("collect-info.sh", script + "#"); }, "", 1,
         "error: collect-info.sh is " + std::to_string(script.size() + 1) + " bytes long"},
        {"same size, other bytes", [&] { site.Write("collect-info.sh", "X" + script.substr(1)); }, "", 1,
         "error: collect-info.sh does not match the SHA256"},
        {"the INI changed after signing", [&] { site.Write(kIni, ini + ";\r\n"); }, key.PublicPem, 1,
         "does not match its signature"},
        {"another publisher's key", [] {}, other.PublicPem, 1, "does not match its signature"},
        {"no signature", [&] { std::filesystem::remove(site.File(std::string(kIni) + ".sig")); }, key.PublicPem, 1,
         "is not signed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Write(kIni, ini);
        site.Write(std::string(kIni) + ".sig", sig);
        site.Write("collect-info.sh", script);
        c.spoil();
        const CommandResult r =
            RunCommand(Tool("check-ini " + site.Path() + (c.keyFile.empty() ? "" : " --key " + c.keyFile)));
        EXPECT_EQ(r.code, c.code) << r.output;
        EXPECT_NE(r.output.find(c.finding), std::string::npos) << r.output;
    }
}

TEST_F(Publish, AnEntryWithoutAHashIsAnErrorUnderAKey) {
    // The demo INI as written has no hashes: fine without a key, refused with one.
    const CommandResult plain = RunCommand(Tool("check-ini " + site.Path()));
    EXPECT_EQ(plain.code, 0) << plain.output;
    EXPECT_NE(plain.output.find("warning: FILE3SHA256 is missing"), std::string::npos) << plain.output;
    const CommandResult keyed = RunCommand(Tool("check-ini " + site.File(kIni) + " --key " + key.PublicPem));
    EXPECT_EQ(keyed.code, 1) << keyed.output;
    EXPECT_NE(keyed.output.find("error: FILE3SHA256 is missing"), std::string::npos) << keyed.output;
}

// A command line that names no site, two sites, an unknown option or two keys is a usage
// error (exit 2) and leaves the site as it was.
TEST_F(Publish, ArgumentsOtherThanOneSiteAndOneKeyAreUsageErrors) {
    const std::string k = " --key " + key.PrivatePem;
    const std::string cases[] = {"publish",
                                 "publish" + k,
                                 "publish " + site.Path() + " " + site.Path(),
                                 "publish " + site.Path() + " --force",
                                 "publish " + site.Path() + k + k,
                                 "publish " + site.Path() + " --key",
                                 "publish " + site.Path() + " --serial 0",
                                 "publish " + site.Path() + " --serial x",
                                 "publish " + site.Path() + " --expires -1",
                                 "check-ini " + site.Path() + " --serial 3",
                                 "check-ini",
                                 "check-ini " + site.Path() + k + k};
    for (const auto& c : cases) {
        const CommandResult r = RunCommand(Tool(c));
        EXPECT_EQ(r.code, 2) << c << "\n" << r.output;
        EXPECT_NE(r.output.find("usage: zelupdtool"), std::string::npos) << c << "\n" << r.output;
    }
    EXPECT_EQ(site.Read(kIni), original);
    EXPECT_FALSE(std::filesystem::exists(site.File(std::string(kIni) + ".sig")));
}
}  // namespace
