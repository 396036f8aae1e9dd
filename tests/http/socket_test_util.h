#pragma once
// Small helpers shared by the socket suites.
#include <string>
#include <utility>
#include <vector>

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
