#pragma once
// A loopback server that plays a script on one background thread: accept, read a request,
// send canned (or broken) bytes, pause, close. It records every request's exact bytes and
// fails the running test when a step that expected a peer or a request never saw one.
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedServer {
public:
    explicit ScriptedServer(bool ipv6 = false);
    ~ScriptedServer();  // waits for the script; unmet expectations fail the test
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return port_; }
    std::string HostPort() const;                    // "127.0.0.1:port" or "[::1]:port"
    std::string Url(const std::string& path) const;  // "http://" + HostPort() + path

    // Script steps, in order. Start() runs them.
    ScriptedServer& Accept();
    // Reads one HTTP request: the header up to the empty line, then Content-Length bytes.
    ScriptedServer& ExpectRequest();
    // Reads exactly n bytes (a CONNECT line, a body without a length ...).
    ScriptedServer& ExpectBytes(size_t n);
    ScriptedServer& Send(std::string bytes);
    ScriptedServer& SleepMs(int ms);
    ScriptedServer& Close();
    // Runs fn on the server thread with the connection's descriptor (TLS, odd framings).
    ScriptedServer& Custom(std::function<void(int fd)> fn);
    void Start();

    // Waits for the script to end and returns what was received.
    std::vector<std::string> Requests();
    std::string Request(size_t i) {
        auto r = Requests();
        return i < r.size() ? r[i] : std::string();
    }

    int timeout_ms = 5000;  // how long a step waits for its peer

private:
    struct Step {
        enum Kind { Accept, Request, Bytes, Send, Sleep, Close, Custom } kind = Accept;
        std::string data;
        size_t n = 0;
        std::function<void(int)> fn;
    };
    ScriptedServer& Push(Step::Kind kind, std::string data = {}, size_t n = 0, std::function<void(int)> fn = {});
    void Run();
    void Fail(const std::string& why);

    int listen_fd_ = -1, conn_fd_ = -1, port_ = 0;
    bool ipv6_;
    std::vector<Step> steps_;
    std::thread thread_;
    std::mutex mu_;
    std::vector<std::string> requests_;
    std::vector<std::string> failures_;
    bool joined_ = false;
};
