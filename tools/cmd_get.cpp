// zelupdtool get URL FILE: fetches URL into FILE exactly as the updater fetches its files
// (same downloader, same proxy lookup, same "200 OK" test), so a publisher can check what a
// workstation will receive.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "http/tls_verification.h"
#include "http/zel_http_file_downloader.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "tools/commands.h"

using namespace http;
using namespace platform;

namespace tools {

namespace {
// One line on a terminal, rewritten at most ten times a second.
class ProgressLine {
public:
    void Show(int64_t total, int64_t stored) {
        const auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now, shown_ = true;
        std::fprintf(stderr, "\r%lld of %lld bytes (%d%%)   ", static_cast<long long>(stored),
                     static_cast<long long>(total), total > 0 ? int(stored * 100 / total) : 0);
        std::fflush(stderr);
    }
    void End() {
        if (shown_) std::fputs("\n", stderr);
    }

private:
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_;
};

// The updater's messages hold Windows line ends, and a lone CR between the URL and the reply
// header; on a terminal that CR would write the header over the start of the message.
std::string ForTerminal(const std::string& message) {
    std::string out;
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] != '\r')
            out += message[i];
        else if (i + 1 == message.size() || message[i + 1] != '\n')
            out += '\n';
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

int Get(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: zelupdtool get URL FILE\n");
        return kExitUsage;
    }
    const std::string& url = args[0];
    const std::string& file = args[1];
    ProgressLine line;
    // The updater checks certificates on every https connection, so the same fetch here does.
    SetTLSVerifyDefaults({true, ""});
    TzelHTTPFileDownloader dl;
    if (::isatty(STDERR_FILENO))
        dl.OnDownloadProgress = [&line](TzelHTTPFileDownloader&, int32_t total, int32_t stored) {
            line.Show(total, stored);
        };
    try {
        const bool ok = dl.DownloadFile(url, file, nullptr);
        line.End();
        if (ok) return kExitOk;
        // The transport gave up without an exception; the part that arrived is no download.
        DeleteFileIfExists(file);
        const std::string why = dl.Sock->LastErrorDesc.empty() ? "no reply" : dl.Sock->LastErrorDesc;
        std::fprintf(stderr, "zelupdtool get: %s: %s\n", url.c_str(), why.c_str());
    } catch (const std::exception& e) {
        line.End();
        std::fprintf(stderr, "%s\n", ForTerminal(e.what()).c_str());
    }
    return kExitFailed;
}

const ToolCommandRegistrar kRegister{{"get", "get URL FILE   download URL into FILE as the updater does", Get}};
}  // namespace

}  // namespace tools
