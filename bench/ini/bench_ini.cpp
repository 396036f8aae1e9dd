// A server INI of 100 000 lines: the time to load it into its list and the time the file loop
// takes over all its entries (every file current, one in ten run again because of ALWAYS, the
// runs answered without starting anything), with a local INI holding a RAN marker for each.
//   bench_ini [LINES]   (default 100000)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/zel_cust_update_dialog.h"
#include "platform/os_services.h"
#include "ui/application.h"
#include "ui/headless_runtime.h"
#include "ui/runtime.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kKeysPerEntry = 7;

struct QuietOS : TOSServices {
    int runs = 0;
    int ShellOpen(const std::string&, const std::string&, const std::string&) override { return ++runs, 42; }
};

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}
}  // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int entries = (lines - 3) / kKeysPerEntry;
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("zel-bench-ini-" + std::to_string(::getpid()))).string() + "/";
    std::filesystem::create_directories(folder);

    std::string server = "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=" + std::to_string(entries) + "\r\n";
    std::string local = "CONSOLE=\r\n";
    for (int i = 0; i < entries; ++i) {
        const std::string n = "FILE" + std::to_string(i);
        server += n + "NAME=tool" + std::to_string(i) + ".sh\r\n" + n + "VERSION=0.0.0.0\r\n" + n +
                  "EXECUTE=" + (i % 10 == 0 ? "ALWAYS" : "") + "\r\n" + n + "MESSAGE=Install tool " +
                  std::to_string(i) + "?\r\n" + n + "REQUEST=TRUE\r\n" + n + "WAIT=\r\n" + n +
                  "HELP_LOCATION=http://x/\r\n";
        local += n + "RAN=TRUE\r\n";
    }
    WriteFile(folder + "bench.ini", server);
    WriteFile(folder + "bench_Local.ini", local);

    THeadlessRuntime runtime;
    runtime.EchoMessages = false;
    SetRuntime(&runtime);
    QuietOS os;
    SetOSServices(&os);
    Application().ExeName = folder + "bench.exe";
    double load = 0, loop = 0;
    {
        auto form = CreateForm<TzelCustUpdaterDialogForm>();
        form->InitializeIt();
        const auto t0 = Clock::now();
        form->ServerIniList().LoadFromFile(folder + "bench.ini");
        const auto t1 = Clock::now();
        form->DownloadAndRunFiles();
        const auto t2 = Clock::now();
        load = Millis(t1 - t0);
        loop = Millis(t2 - t1);
        std::printf("server INI: %d lines, %d entries, %.1f MB\n", form->ServerIniList().Count(), entries,
                    double(server.size()) / 1e6);
    }
    SetOSServices(nullptr);
    SetRuntime(nullptr);
    std::filesystem::remove_all(folder);
    std::printf("load         %8.1f ms\n", load);
    std::printf("file loop    %8.1f ms  (%d runs)\n", loop, os.runs);
    std::printf("together     %8.1f ms\n", load + loop);
    return 0;
}
