#pragma once
// Shared by the transport suites: a lenient reply step for the scripted server, and small
// readers of what a transport ended with.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "http/http_transport.h"
#include "tests/support/real_peers.h"
#include "tests/support/scripted_server.h"

// A server step that reads whatever request comes (up to its empty line and declared body,
// or until the client stops), then sends Pieces with a short pause between them. Unlike
// ExpectRequest it does not fail when the client never sends: fault tests break clients
// on purpose. Received bytes go to *Got when given.
inline std::function<void(int)> ServeLeniently(std::vector<std::string> Pieces, std::string* Got = nullptr,
                                               int PauseMs = 20) {
    return [Pieces = std::move(Pieces), Got, PauseMs](int fd) {
        std::string got;
        size_t need = std::string::npos;
        while (need == std::string::npos || got.size() < need) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 3000) <= 0) break;
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.append(buf, size_t(n));
            const size_t end = got.find("\r\n\r\n");
            if (need == std::string::npos && end != std::string::npos) {
                const size_t cl = got.find("Content-Length: ");
                need = end + 4 + (cl != std::string::npos && cl < end ? std::stoul(got.substr(cl + 16)) : 0);
            }
        }
        if (Got) *Got = got;
        for (const std::string& piece : Pieces) {
            if (::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) break;
            pollfd p{fd, 0, 0};
            ::poll(&p, 1, PauseMs);  // a pause, so each piece arrives as its own block
        }
    };
}

inline std::string Reply(const std::string& Head, const std::string& Body) {
    return Head + "Content-Length: " + std::to_string(Body.size()) + "\r\n\r\n" + Body;
}

inline std::string BodyOf(THTTPTransport& T) { return T.Document.ReadAllBytes(); }
