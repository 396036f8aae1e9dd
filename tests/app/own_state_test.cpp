// The built program in a product-shaped tree, against a loopback server that stalls on cue:
// two updaters in one folder, an updater killed in the middle of an update, and an updater
// that replaces itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <thread>

#include "tests/support/run_command.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;

const std::string kBig(2098179, 'B');  // bytes of big.dll

// R/Updates holds the updater (unattended), R/Admin/Client the installation settings.
struct Product {
    TempDir root;
    TempDir outside;  // what the test keeps beside the product: the updater's process id
    std::string program = root.File("Updates/");
    Product() {
        root.Write("Admin/Client/install.ini", "[Settings]\r\nLocalNumber=42\r\n");
        root.Write("Updates/BrinquetExpressUpdater_Local.ini", "CONSOLE=\r\n");
        fs::copy_file(UPDATER, program + "BrinquetExpressUpdater.exe");
        fs::permissions(program + "BrinquetExpressUpdater.exe", fs::perms::owner_all);
    }
    // Runs the updater to its end; its process id goes to outside/<tag>.pid first.
    CommandResult Run(const std::string& url, const std::string& tag) const {
        return RunCommand("cd '" + program + "' && echo $$ > '" + outside.File(tag + ".pid") +
                          "' && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ./BrinquetExpressUpdater.exe "
                          "DEBUG SERVERPATH=" +
                          url + " 2>&1");
    }
    // Every file of the program folder with its bytes.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(program))
            files[e.path().string()] = e.is_regular_file() ? ReadWholeFile(e.path().string()) : "<folder>";
        return files;
    }
};

std::string IniReply(const std::string& ini) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(ini.size()) + "\r\n\r\n" + ini;
}

// Serves the server INI twice (the product's load and the engine's), then big.dll, stalling
// half-way through it until Release is set; Stalled is set when the stall begins.
void ServeStallingUpdate(ScriptedServer& Server, const std::string& Ini, std::promise<void>& Stalled,
                         std::shared_future<void> Release) {
    for (int i = 0; i < 2; ++i) Server.Accept().ExpectRequest().Send(IniReply(Ini)).Close();
    Server.Accept()
        .ExpectRequest()
        .Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kBig.size()) + "\r\n\r\n" +
              kBig.substr(0, kBig.size() / 2))
        .Custom([&Stalled, Release](int) {
            Stalled.set_value();
            Release.wait();
        })
        .Send(kBig.substr(kBig.size() / 2))
        .Close();
    Server.timeout_ms = 60000;
    Server.Start();
}

bool WaitUntil(const std::function<bool()>& Done) {
    for (int i = 0; i < 200; ++i) {
        if (Done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

const std::string kIni =
    "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=1\r\nFILE0NAME=big.dll\r\nFILE0VERSION=1.0.0.0\r\nFILE0EXECUTE=NEVER\r\n";

TEST(OneUpdaterPerFolder, ASecondUpdaterWritesNothingAndTheFirstFinishes) {
    Product product;
    ScriptedServer server;
    std::promise<void> stalled, release;
    ServeStallingUpdate(server, kIni, stalled, release.get_future().share());
    auto first = std::async(std::launch::async, [&] { return product.Run(server.Url("/"), "first"); });
    ASSERT_EQ(stalled.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);

    const std::string record = product.program + "BrinquetExpressUpdater_LastRun.ini";
    auto before = product.Files();
    before.erase(record);
    const CommandResult second = product.Run(server.Url("/"), "second");
    EXPECT_EQ(second.code, 1);
    EXPECT_EQ(second.output, "Brinquet\xC2\xAE Express Updater: An update is already running in this folder.\n");
    // Its last-run record is the one trace it leaves, for the administrator.
    EXPECT_NE(ReadWholeFile(record).find("Outcome=AlreadyRunning"), std::string::npos) << ReadWholeFile(record);
    EXPECT_EQ(product.Run(server.Url("/") + " EXITCODES", "asked").code, 5) << "the code that tells it";
    auto after = product.Files();
    after.erase(record);
    EXPECT_TRUE(after == before) << "the second updater wrote nothing else, its log line neither";

    release.set_value();
    const CommandResult r = first.get();
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(ReadWholeFile(product.program + "big.dll"), kBig) << "installed whole";
    EXPECT_FALSE(fs::exists(product.program + "Temp"));

    // The lock went with the first updater: a third start runs (and finds the server gone).
    const CommandResult third = product.Run("http://127.0.0.1:1/", "third");
    EXPECT_EQ(third.output.find("already running"), std::string::npos) << third.output;
}

TEST(OneUpdaterPerFolder, AKillRightAfterARunOnceProgramLeavesItsMarker) {
    Product product;
    // welcome.sh is opened through the shell, then big.dll stalls: the kill comes there.
    const std::string runs = product.outside.File("runs.txt");
    product.root.Write("Updates/welcome.sh", "#!/bin/sh\necho ran >> '" + runs + "'\n", 0755);
    const std::string ini =
        "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=2\r\nFILE0NAME=welcome.sh\r\n"
        "FILE1NAME=big.dll\r\nFILE1VERSION=1.0.0.0\r\nFILE1EXECUTE=NEVER\r\n";
    {
        ScriptedServer server;
        std::promise<void> stalled, release;
        ServeStallingUpdate(server, ini, stalled, release.get_future().share());
        auto run = std::async(std::launch::async, [&] { return product.Run(server.Url("/"), "killed"); });
        ASSERT_EQ(stalled.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
        ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(runs) == "ran\n"; })) << ReadWholeFile(runs);
        const pid_t pid = std::stoi(ReadWholeFile(product.outside.File("killed.pid")));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        EXPECT_EQ(run.get().code, 128 + SIGKILL);
        release.set_value();
    }
    ScriptedServer server;
    for (int i = 0; i < 2; ++i) server.Accept().ExpectRequest().Send(IniReply(ini)).Close();
    server.Accept().ExpectRequest().Send(IniReply(kBig)).Close().Start();
    const CommandResult r = product.Run(server.Url("/"), "again");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(ReadWholeFile(product.program + "big.dll"), kBig);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a detached start would have run by now
    EXPECT_EQ(ReadWholeFile(runs), "ran\n") << "welcome.sh ran once";
}

TEST(SelfUpdate, ARunningUpdaterIsReplacedAndTheNextStartIsTheNewCopy) {
    Product product;
    const std::string exe = product.program + "BrinquetExpressUpdater.exe";
    const std::string newCopy = ReadWholeFile(exe) + "new copy";  // bytes after the program change nothing
    const std::string ini =
        "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=2\r\nFILE0NAME=BrinquetExpressUpdater.exe\r\n"
        "FILE0VERSION=9.0.0.0\r\nFILE0EXECUTE=NEVER\r\nFILE1NAME=after.txt\r\n"
        "FILE1VERSION=1.0.0.0\r\nFILE1EXECUTE=NEVER\r\n";
    ScriptedServer server;
    for (int i = 0; i < 2; ++i) server.Accept().ExpectRequest().Send(IniReply(ini)).Close();
    server.Accept().ExpectRequest().Send(IniReply(newCopy)).Close();
    server.Accept().ExpectRequest().Send(IniReply("after")).Close().Start();
    const CommandResult r = product.Run(server.Url("/"), "self");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(ReadWholeFile(exe), newCopy);
    EXPECT_EQ(ReadWholeFile(product.program + "after.txt"), "after") << "the entries after it ran";
    EXPECT_FALSE(fs::exists(exe + ".old")) << "a rename replaces a running program here";

    const CommandResult next = product.Run("http://127.0.0.1:1/", "next");
    EXPECT_EQ(next.code, 1);
    EXPECT_NE(next.output.find("is having trouble communicating"), std::string::npos) << "the new copy runs";
}

}  // namespace
