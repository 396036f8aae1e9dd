#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "tests/support/loopback.h"

ScriptedServer::ScriptedServer(bool ipv6) : ipv6_(ipv6) {
    listen_fd_ = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    port_ = BindToLoopback(listen_fd_, ipv6);
    ::listen(listen_fd_, 16);
}

ScriptedServer::~ScriptedServer() {
    Requests();
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto& f : failures_) ADD_FAILURE() << "scripted server on port " << port_ << ": " << f;
    if (conn_fd_ >= 0) ::close(conn_fd_);
    ::close(listen_fd_);
}

std::string ScriptedServer::HostPort() const { return (ipv6_ ? "[::1]:" : "127.0.0.1:") + std::to_string(port_); }

std::string ScriptedServer::Url(const std::string& path) const { return "http://" + HostPort() + path; }

ScriptedServer& ScriptedServer::Push(Step::Kind kind, std::string data, size_t n, std::function<void(int)> fn) {
    Step s;
    s.kind = kind, s.data = std::move(data), s.n = n, s.fn = std::move(fn);
    steps_.push_back(std::move(s));
    return *this;
}

ScriptedServer& ScriptedServer::Accept() { return Push(Step::Accept); }
ScriptedServer& ScriptedServer::ExpectRequest() { return Push(Step::Request); }
ScriptedServer& ScriptedServer::ExpectBytes(size_t n) { return Push(Step::Bytes, {}, n); }
ScriptedServer& ScriptedServer::Send(std::string bytes) { return Push(Step::Send, std::move(bytes)); }
ScriptedServer& ScriptedServer::SleepMs(int ms) { return Push(Step::Sleep, {}, size_t(ms)); }
ScriptedServer& ScriptedServer::Close() { return Push(Step::Close); }
ScriptedServer& ScriptedServer::Custom(std::function<void(int)> fn) { return Push(Step::Custom, {}, 0, std::move(fn)); }

void ScriptedServer::Start() {
    thread_ = std::thread([this] { Run(); });
}

std::vector<std::string> ScriptedServer::Requests() {
    if (!joined_ && thread_.joinable()) thread_.join();
    joined_ = true;
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
}

void ScriptedServer::Fail(const std::string& why) {
    std::lock_guard<std::mutex> lock(mu_);
    failures_.push_back(why);
}

namespace {
bool WaitReadable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

// Reads one byte at a time until pred says the request is whole; false on close or time-out.
bool ReadRequest(int fd, int ms, std::string& got) {
    size_t need = std::string::npos;
    for (;;) {
        if (need != std::string::npos && got.size() >= need) return true;
        if (!WaitReadable(fd, ms)) return false;
        char c;
        if (::recv(fd, &c, 1, 0) != 1) return false;
        got += c;
        if (need == std::string::npos) {
            const size_t end = got.find("\r\n\r\n");
            if (end == std::string::npos) continue;
            size_t length = 0;
            std::string lower = got;
            for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
            const size_t cl = lower.find("\ncontent-length:");
            if (cl != std::string::npos && cl < end) length = std::stoul(got.substr(cl + 16));
            need = end + 4 + length;
        }
    }
}
}  // namespace

void ScriptedServer::Run() {
    for (size_t i = 0; i < steps_.size(); ++i) {
        Step& s = steps_[i];
        const std::string where = "step " + std::to_string(i) + ": ";
        switch (s.kind) {
        case Step::Accept:
            if (conn_fd_ >= 0) ::close(conn_fd_), conn_fd_ = -1;
            if (!WaitReadable(listen_fd_, timeout_ms)) return Fail(where + "no client connected");
            conn_fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            break;
        case Step::Request: {
            std::string got;
            const bool whole = ReadRequest(conn_fd_, timeout_ms, got);
            {
                std::lock_guard<std::mutex> lock(mu_);
                requests_.push_back(got);
            }
            if (!whole) return Fail(where + "the expected request never came whole; got [" + got + "]");
            break;
        }
        case Step::Bytes: {
            std::string got;
            while (got.size() < s.n && WaitReadable(conn_fd_, timeout_ms)) {
                char buf[4096];
                const ssize_t n = ::recv(conn_fd_, buf, std::min(sizeof buf, s.n - got.size()), 0);
                if (n <= 0) break;
                got.append(buf, size_t(n));
            }
            {
                std::lock_guard<std::mutex> lock(mu_);
                requests_.push_back(got);
            }
            if (got.size() < s.n)
                return Fail(where + "expected " + std::to_string(s.n) + " bytes, got " + std::to_string(got.size()));
            break;
        }
        case Step::Send: {
            size_t off = 0;
            while (off < s.data.size()) {
                const ssize_t n = ::send(conn_fd_, s.data.data() + off, s.data.size() - off, MSG_NOSIGNAL);
                if (n <= 0) break;  // the client may have gone: that is its test's business
                off += size_t(n);
            }
            break;
        }
        case Step::Sleep: std::this_thread::sleep_for(std::chrono::milliseconds(s.n)); break;
        case Step::Close:
            if (conn_fd_ >= 0) ::close(conn_fd_), conn_fd_ = -1;
            break;
        case Step::Custom: s.fn(conn_fd_); break;
        }
    }
}
