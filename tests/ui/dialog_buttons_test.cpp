// Stop, Proceed and Close as the user presses them on the real buttons, and the download
// progress they watch.
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>

#include "http/zel_http_file_downloader.h"
#include "platform/errors.h"
#include "tests/support/scripted_server.h"
#include "tests/ui/qt_fixture.h"

using namespace http;
using namespace platform;
using namespace ui;

namespace {
using DialogButtons = QtTest;

const std::string kEmptyList = "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=0\r\n";

void Serve(ScriptedServer& server, const std::string& reply, int times) {
    for (int i = 0; i < times; ++i) server.Accept().ExpectRequest().Send(reply).Close();
    server.Start();
}

const char kUpdateStarts[] = "Getting upgrade information.";

TEST_F(DialogButtons, ProceedAfterStopRestartsTheUpdate) {
    ScriptedServer server;
    Serve(server, IniReply(kEmptyList), 2);
    Application().Params = {"SERVERPATH=" + server.Url("/")};
    ShownForm form(*runtime);

    Click(form->ProceedBitBtn);
    EXPECT_EQ(CountLines(form->ProgressMemo, kUpdateStarts), 1);
    EXPECT_EQ(CountLines(form->ProgressMemo, "Finished all update processes"), 1);

    // As after a file has run: Proceed alone does nothing now...
    form->SetCurrentStep(2);
    Click(form->ProceedBitBtn);
    EXPECT_EQ(CountLines(form->ProgressMemo, kUpdateStarts), 1);
    // ...but after Stop it runs the whole update again.
    Click(form->StopBitBtn);
    EXPECT_TRUE(form->Stopping());
    Click(form->ProceedBitBtn);
    EXPECT_FALSE(form->Stopping());
    EXPECT_EQ(form->CurrentStep(), 1);
    EXPECT_EQ(CountLines(form->ProgressMemo, kUpdateStarts), 2);
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

TEST_F(DialogButtons, ProceedDuringARunningUpdateIsRefused) {
    // A server INI long enough to arrive in several blocks, so progress events pump messages.
    const std::string ini = kEmptyList + "; " + std::string(300000, 'x') + "\r\n";
    ScriptedServer server;
    Serve(server, IniReply(ini), 2);
    Application().Params = {"SERVERPATH=" + server.Url("/")};
    ShownForm form(*runtime);
    int proceedClicks = 0;
    const auto proceed = form->ProceedBitBtn.OnClick;
    form->ProceedBitBtn.OnClick = [&] {
        ++proceedClicks;
        proceed();
    };

    QueueClick(form->ProceedBitBtn);  // handled inside the first progress event
    Click(form->ProceedBitBtn);
    EXPECT_EQ(proceedClicks, 2) << "the second click came while the first update ran";
    EXPECT_EQ(CountLines(form->ProgressMemo, kUpdateStarts), 1);
    EXPECT_FALSE(form->Updating());

    // Once the running update has ended, Proceed starts one again.
    Click(form->ProceedBitBtn);

    EXPECT_EQ(CountLines(form->ProgressMemo, kUpdateStarts), 2);
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

TEST_F(DialogButtons, SizeLinesAndTheProgressBar) {
    ShownForm form(*runtime);
    auto* bar = qobject_cast<QProgressBar*>(runtime->WidgetOf(form->ProgressBar));
    ASSERT_NE(bar, nullptr);
    const struct {
        int total, sent;
        const char* line;  // nullptr: no size line
    } cases[] = {
        {1023, 0, "Downloading 1023 Bytes."},
        {1024, 512, "Downloading 1 KBytes."},
        {1535, 1000, "Downloading 1 KBytes."},
        {1536, 10, "Downloading 2 KBytes."},
        {1536, 1500, nullptr},  // the same total again: no line, same maximum
        {3 * 1024 * 1024, 5, "Downloading 3072 KBytes."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.total) + "/" + std::to_string(c.sent));
        const size_t before = form->ProgressMemo.Lines.size();
        form->DoDownloadProgress(c.total, c.sent);
        if (c.line) {
            ASSERT_EQ(form->ProgressMemo.Lines.size(), before + 1);
            EXPECT_EQ(form->ProgressMemo.Lines.back().Text, c.line);
        } else {
            EXPECT_EQ(form->ProgressMemo.Lines.size(), before);
        }
        EXPECT_EQ(bar->maximum(), c.total);
        EXPECT_EQ(bar->value(), c.sent);
    }
}

TEST_F(DialogButtons, StopDuringADownloadEndsItAtTheNextProgressEvent) {
    // 4 MB announced, sent in 64 KB pieces with pauses: far more progress events than the
    // test lets happen.
    const int total = 4 * 1024 * 1024;
    ScriptedServer server;
    server.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(total) + "\r\n\r\n");
    for (int i = 0; i < 20; ++i) server.Send(std::string(65536, 'z')).SleepMs(30);
    server.Close().Start();
    ShownForm form(*runtime);
    std::vector<int> positions;
    form->HTTPFileDownloader().OnDownloadProgress = [&](TzelHTTPFileDownloader&, int32_t toSend, int32_t sent) {
        if (positions.size() == 1) QueueClick(form->StopBitBtn);  // handled in this event's pump
        positions.push_back(sent);
        form->DoDownloadProgress(toSend, sent);
    };

    EXPECT_THROW(form->DownloadFile(server.Url("/big.bin"), "big.bin", "Big"), EUpdaterError);
    ASSERT_EQ(positions.size(), 3u) << "the event after Stop is the last";
    EXPECT_TRUE(form->Stopping());
    EXPECT_TRUE(form->HTTPFileDownloader().CancelDownload);
    EXPECT_EQ(form->ProgressBar.Position, positions[1]) << "no progress shown after Stop";
    EXPECT_EQ(qobject_cast<QProgressBar*>(runtime->WidgetOf(form->ProgressBar))->value(), positions[1]);
    EXPECT_FALSE(dir.Exists("Temp")) << "the transfer file does not survive";
    EXPECT_FALSE(dir.Exists("big.bin"));
}
}  // namespace
