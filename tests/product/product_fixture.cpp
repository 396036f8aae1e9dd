#include "tests/product/product_fixture.h"

#include <filesystem>
#include <regex>

#include "platform/errors.h"

#include "tests/platform/pe_image_builder.h"
#include "tests/support/real_peers.h"
#include "ui/application.h"
#include "ui/runtime.h"

using namespace engine;
using namespace platform;
using namespace ui;

const std::string kBrinquet = "Brinquet\xC2\xAE Express";

int FakeProductOS::ShellOpen(const std::string& FileName, const std::string& Params, const std::string&) {
    opened.push_back(FileName + Params);
    if (onRun) onRun(FileName);
    return shellResult;
}

// Recorded as the command line the run names: the file, then its parameters.
int FakeProductOS::RunAndWait(const std::string& FileName, const std::string& Params, int, const std::string&) {
    const std::string CommandLine = FileName + Params;
    waited.push_back(CommandLine);
    if (onRun) onRun(CommandLine);
    const int code = codes.empty() ? 0 : codes.front();
    if (!codes.empty()) codes.erase(codes.begin());
    return code;
}

bool FakeProductOS::IsUacEnabled() {
    ++probes;
    if (probeFails) throw EUpdaterError("Unable to read EnableLUA");
    return uac;
}

void ProductRuntime::ProcessMessages() {
    THeadlessRuntime::ProcessMessages();
    // What the hook does is a click: its errors go where a click's would.
    try {
        // A copy: the hook may replace itself while it runs.
        if (auto hook = onPump) hook();
    } catch (const std::exception& e) {
        HandleApplicationException(e);
    }
    if (--budget == 0) {
        ADD_FAILURE() << "the wait never ended";
        if (onBudgetExhausted) onBudgetExhausted();
    }
}

void ProductTest::SetUp() {
    savedCwd = std::filesystem::current_path();
    ProductName = kBrinquet;  // as the program entry sets it
    runtime.EchoMessages = false;
    SetRuntime(&runtime);
    SetOSServices(&os);
    Application().ExeName = Program() + "BrinquetExpressUpdater.exe";
    Application().Params.clear();
    Application().MainForm = nullptr;
    std::filesystem::create_directories(Program());
    std::filesystem::create_directories(Root() + "Utils");
    supportUrl = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/scripts/zelisapi.dll/runningupload";
    runtime.onBudgetExhausted = [this] {
        if (form) form->CloseBtn.Click();
    };
}

void ProductTest::TearDown() {
    form.reset();
    SetOSServices(nullptr);
    SetRuntime(nullptr);
    Application().Params.clear();
    std::filesystem::current_path(savedCwd);
}

std::string ProductTest::Versioned(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    pe::SimpleImage image;
    image.Resources = {pe::VersionResource(uint32_t(a) << 16 | b, uint32_t(c) << 16 | d)};
    return pe::BuildSimple(image);
}

std::string ProductTest::Run(std::vector<std::string> extraParams) {
    std::vector<std::string> params = {"DEBUG", "SERVERPATH=" + site.Url("/cfg/")};
    params.insert(params.end(), extraParams.begin(), extraParams.end());
    Application().Params = params;
    form.reset();
    auto made = CreateForm<ProductForm>();
    form = std::move(made);
    try {
        form->Start();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

std::vector<std::string> ProductTest::Log() const {
    std::vector<std::string> out;
    const std::string log = Read("Updates/BrinquetExpressUpdater.log");
    static const std::regex stamp(R"(^\d\d/\d\d/\d\d( \d\d:\d\d:\d\d)?:  )");
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        std::smatch m;
        out.push_back(std::regex_search(line, m, stamp) ? line.substr(size_t(m.length(0))) : "|" + line);
        start = end + 2;
    }
    return out;
}

bool ProductTest::Logged(const std::string& text) const {
    const std::string ansi = std::regex_replace(text, std::regex("\xC2\xAE"), "\xAE");
    for (const auto& l : Log())
        if (l == ansi) return true;
    return false;
}

std::vector<std::string> ProductTest::MemoTexts() const {
    std::vector<std::string> out;
    for (const auto& l : form->ProgressMemo.Lines) out.push_back(l.Text);
    return out;
}

bool ProductTest::InMemo(const std::string& text) const {
    for (const auto& l : form->ProgressMemo.Lines)
        if (l.Text == text) return true;
    return false;
}

void ProductTest::ClickProceedWhenWaiting() {
    runtime.onPump = [this] {
        if (form && form->ProceedBitBtn.Enabled && !form->Decided()) {
            runtime.onPump = nullptr;
            form->ProceedBitBtn.Click();
        }
    };
}

void ProductTest::ClickCloseWhenWaiting() {
    runtime.onPump = [this] {
        if (form && form->ProceedBitBtn.Enabled && !form->Decided()) {
            runtime.onPump = nullptr;
            form->CloseBtn.Click();
        }
    };
}
