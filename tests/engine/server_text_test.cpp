// Text from a server on its way to the log, the memo, the message boxes (standard error when
// unattended) and the last-run record: no control character of it arrives raw, so no server
// can forge a log line or drive the administrator's terminal.
#include <filesystem>

#include "tests/engine/engine_fixture.h"
#include "tests/support/scripted_server.h"

using namespace engine;
using namespace ui;

namespace {

// Where a text could go wrong: a raw ESC or BEL, or a line of its own that the server began.
std::string Fault(const std::string& Text) {
    if (Text.find('\x1B') != std::string::npos) return "a raw ESC";
    if (Text.find('\x07') != std::string::npos) return "a raw BEL";
    size_t start = 0;
    while (start <= Text.size()) {
        const size_t end = Text.find_first_of("\r\n", start);
        const std::string line = Text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.rfind("FORGED", 0) == 0 || line.rfind("12/10/2026", 0) == 0) return "a forged line: " + line;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return "";
}

class ServerText : public EngineTest {};

TEST_F(ServerText, NothingRawReachesAnyOutput) {
    const std::string ini = "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=1\r\n";
    struct Case {
        const char* what;
        std::string reply;  // the server INI's reply
        const char* shown;  // how the hostile part reads, escaped
    } cases[] = {
        {"a header line",
         "HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\nX-Note: a\x1B]0;owned\x07"
         "b\rFORGED\r\n12/10/2026 10:00:00 AM:  Finished all update processes.\r\n\r\n",
         "X-Note: a\\x1B]0;owned\\x07b\\x0D\\x0AFORGED\\x0D\\x0A12/10/2026 10:00:00 AM:  Finished"},
        {"a reason phrase", "HTTP/1.0 403 For\x1B[2Jbid\x07\rFORGED den\r\nContent-Length: 0\r\n\r\n",
         "403 For\\x1B[2Jbid\\x07\\x0D\\x0AFORGED den\\x0D\\x0A"},
        {"an INI value",
         IniReply(ini + "FILE0NAME=a.sh\r\nFILE0VERSION=1.0.0.0\r\nFILE0SHA256=\x1B]0;t\x07\x1B[2J\x08\r\n"),
         "FILE0SHA256 \"\\x1B]0;t\\x07\\x1B[2J\\x08\" is not"},
        {"a file name", IniReply(ini + "FILE0NAME=../\x1B[2J\x07x.sh\r\n"), "FILE0NAME"},
        {"a message shown before a run",
         IniReply(ini +
                  "FILE0NAME=a.sh\r\nFILE0VERSION=1.0.0.0\r\nFILE0REQUEST=TRUE\r\nFILE0MESSAGE=Run\x1B[2J\x07 it?\r\n"),
         "Run\\x1B[2J\\x07 it?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(c.reply).Close();
        if (std::string(c.what) == "a message shown before a run")
            server.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nnew").Close();
        server.Start();
        std::filesystem::remove(dir.File("Updater.log"));
        dir.Write("Updater_Local.ini", "");
        runtime.Messages.clear();
        runtime.Confirmations.clear();
        runtime.Answers = {false};
        Params({"DEBUG", "SERVERPATH=" + server.Url("/")});
        std::vector<std::string> outputs;
        {
            auto form = MakeForm();
            runtime.InLoop([&] { form->ProceedBitBtn.Click(); });
            form->Start();
            for (const auto& l : form->ProgressMemo.Lines) outputs.push_back("memo: " + l.Text);
        }
        for (const auto& m : runtime.Messages) outputs.push_back("message box: " + m);
        for (const auto& m : runtime.Confirmations) outputs.push_back("confirmation: " + m);
        for (const auto& e : events) outputs.push_back("event: " + e.text);
        outputs.push_back("log: " + dir.Read("Updater.log"));
        std::string record = dir.Read("Updater_LastRun.ini");
        for (size_t p; (p = record.find("\r\n")) != std::string::npos;) record.replace(p, 2, "|");
        EXPECT_EQ(record.find_first_of(std::string("\x01\x02\x03\x07\x08\x0A\x0D\x1B\x7F", 9)), std::string::npos)
            << record;

        bool shown = false;
        for (const auto& o : outputs) {
            EXPECT_EQ(Fault(o), "") << o;
            shown |= o.find(c.shown) != std::string::npos;
        }
        EXPECT_TRUE(shown) << "the hostile text, escaped, is still there to read: " << outputs.back();
    }
}

}  // namespace
