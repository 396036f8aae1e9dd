#pragma once
// Small helpers shared by the socket suites.
#include <string>
#include <utility>
#include <vector>

#include "http/socket_io.h"
#include "http/tcp_socket.h"

// Records every status report as "Reason:Value".
struct TStatusLog {
    std::vector<std::string> Events;
    void Attach(TTCPClientSocket& s) {
        s.OnStatus = [this](TTCPClientSocket&, TSocketStatusReason r, const std::string& v) {
            Events.push_back(Name(r) + ":" + v);
        };
    }
    static std::string Name(TSocketStatusReason r) {
        static const char* const names[] = {"ResolvingBegin", "ResolvingEnd", "SocketCreate", "SocketClose", "Bind",
                                            "Connect",        "CanRead",      "CanWrite",     "Listen",      "Accept",
                                            "ReadCount",      "WriteCount",   "Wait",         "Error"};
        return names[r];
    }
};

inline std::string Port(int p) { return std::to_string(p); }

// Bytes that show a shift, a gap or a repeat anywhere in a large body.
inline std::string BodyPattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 131 + (i >> 11)) & 0xFF);
    return s;
}

// Installs a raw I/O for the scope; the system's is back afterwards.
struct TScopedRawIO {
    explicit TScopedRawIO(http::TSocketRawIO& Io) { http::SetSocketRawIO(&Io); }
    ~TScopedRawIO() { http::SetSocketRawIO(nullptr); }
    TScopedRawIO(const TScopedRawIO&) = delete;
    TScopedRawIO& operator=(const TScopedRawIO&) = delete;
};
