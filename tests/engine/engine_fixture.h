#pragma once
// A program folder in a temporary directory, the headless window runtime, and helpers to
// make and run engine forms in it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/zel_cust_update_dialog.h"
#include "platform/event_log.h"
#include "tests/support/temp_dir.h"
#include "ui/application.h"
#include "ui/headless_runtime.h"
#include "ui/runtime.h"

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        runtime.EchoMessages = false;
        ui::SetRuntime(&runtime);
        ui::Application().ExeName = dir.File("Updater.exe");
        ui::Application().Params.clear();
        ui::Application().MainForm = nullptr;
        platform::SetEventSink([this](platform::TEventType Type, const std::string&, const std::string& Text) {
            events.push_back({Type, Text});
        });
    }
    void TearDown() override {
        platform::SetEventSink(nullptr);
        ui::SetRuntime(nullptr);
        ui::Application().Params.clear();
    }
    void Params(std::vector<std::string> p) { ui::Application().Params = std::move(p); }
    // The log's lines without their time stamps.
    std::vector<std::string> LogTexts(const std::string& name = "Updater.log") const;
    // A server INI reply as the update web server sends it.
    static std::string IniReply(const std::string& ini) {
        return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(ini.size()) + "\r\n\r\n" + ini;
    }

    TempDir dir;
    ui::THeadlessRuntime runtime;
    struct Event {
        platform::TEventType type;
        std::string text;
    };
    std::vector<Event> events;  // what went to the system's event log
};

template <class T = TzelCustUpdaterDialogForm>
auto MakeForm() {
    auto form = engine::CreateForm<T>();
    // Tests never sleep: a download that failed in a way that may pass is tried again at once.
    form->RetryPause = [](int) { return true; };
    return form;
}
