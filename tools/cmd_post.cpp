// zelupdtool post URL DATA: posts the form data DATA as the updater posts its status record
// and prints the reply body, to check a support web service by hand.
#include <cstdio>

#include "http/zel_http_send.h"
#include "platform/errors.h"
#include "tools/commands.h"

using namespace http;

namespace tools {

namespace {
int Post(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: zelupdtool post URL DATA\n");
        return kExitUsage;
    }
    const std::string& url = args[0];
    TzelHttpSend http;
    TMemoryStream reply;
    try {
        if (!http.PostURL(url, args[1], reply)) {
            std::fprintf(stderr, "zelupdtool post: %s: %s\n", url.c_str(), http.Sock->LastErrorDesc.c_str());
            return kExitFailed;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    const std::string& body = reply.Bytes();
    std::fwrite(body.data(), 1, body.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

const ToolCommandRegistrar kRegister{
    {"post", "post URL DATA   post form data as the status upload does; prints the reply", Post}};
}  // namespace

}  // namespace tools
