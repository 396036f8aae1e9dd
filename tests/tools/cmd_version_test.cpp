// The "version" sub-command, run through the registration it makes.
#include <gtest/gtest.h>

#include "tools/commands.h"

using namespace tools;

namespace {
std::vector<ToolCommand>& Registered() {
    static std::vector<ToolCommand> commands;
    return commands;
}

int RunTool(const std::vector<std::string>& args, std::string& out) {
    for (const ToolCommand& c : Registered()) {
        if (std::string(c.name) != "version") continue;
        testing::internal::CaptureStdout();
        const int rc = c.run(args);
        out = testing::internal::GetCapturedStdout();
        return rc;
    }
    ADD_FAILURE() << "the version command did not register";
    return -1;
}

const std::string kFixtures = ZEL_PE_FIXTURES "/";
}  // namespace

ToolCommandRegistrar::ToolCommandRegistrar(ToolCommand c) { Registered().push_back(c); }

TEST(VersionCommand, OneLinePerFileWithTabAndVersion) {
    const std::string a = kFixtures + "pe32plus_rsrc_not_last.exe", b = kFixtures + "not_pe.txt";
    std::string out;
    EXPECT_EQ(RunTool({a, b}, out), kExitOk);
    EXPECT_EQ(out, a + "\t2.2.2.5\n" + b + "\t0.0.0.0\n");
}

TEST(VersionCommand, MissingFileStillPrintsButFails) {
    const std::string a = kFixtures + "pe32_basic.exe", missing = kFixtures + "no-such.exe";
    std::string out;
    EXPECT_EQ(RunTool({missing, a}, out), kExitFailed);
    EXPECT_EQ(out, missing + "\t0.0.0.0\n" + a + "\t1.2.3.4\n");
}

TEST(VersionCommand, NoFilesIsAUsageError) {
    std::string out;
    EXPECT_EQ(RunTool({}, out), kExitUsage);
    EXPECT_EQ(out, "");
}
