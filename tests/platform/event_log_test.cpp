// The system's event log: a real listener on /dev/log, in a mount namespace of the test's own,
// reads what the updater sent.
#include <gtest/gtest.h>

#include <string>

#include "platform/event_log.h"

#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <cstring>

#include "tests/support/temp_dir.h"
#endif

using namespace platform;

namespace {

#ifndef _WIN32
// Sends one event from a child process whose /dev/log is the listener bound at Socket.
// Returns an empty text or why the namespace could not be set up.
std::string SendFromPrivateDevLog(const std::string& Socket, TEventType Type, const std::string& Text) {
    int pipefd[2];
    if (::pipe(pipefd) != 0) return "pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipefd[0]);
        const char* why = "";
        if (::unshare(CLONE_NEWNS) != 0)
            why = "unshare";
        else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            why = "private mounts";
        else if (::mount("none", "/dev", "tmpfs", 0, nullptr) != 0)
            why = "tmpfs on /dev";
        else if (int fd = ::open("/dev/log", O_CREAT | O_WRONLY, 0666); fd < 0)
            why = "mount point";
        else if (::close(fd), ::mount(Socket.c_str(), "/dev/log", nullptr, MS_BIND, nullptr) != 0)
            why = "bind mount";
        else
            SystemEventSink(Type, "BrinquetExpressUpdater", Text);
        (void)!::write(pipefd[1], why, std::strlen(why));
        ::_exit(0);
    }
    ::close(pipefd[1]);
    char buf[64] = {};
    (void)!::read(pipefd[0], buf, sizeof buf - 1);
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return buf;
}

TEST(SystemEventLog, SyslogListenerOnDevLogReadsTheMessage) {
    if (::geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
    TempDir dir;
    const std::string path = dir.File("log");
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << std::strerror(errno);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);

    struct Case {
        TEventType type;
        const char* priority;  // facility user (8) + severity
    } cases[] = {{TEventType::Error, "<11>"}, {TEventType::Warning, "<12>"}, {TEventType::Information, "<14>"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.priority);
        const std::string why = SendFromPrivateDevLog(path, c.type, "The run ended: RunFailed. x.sh did not complete");
        if (why == "unshare") GTEST_SKIP() << "no mount namespace here";
        ASSERT_EQ(why, "");
        char buf[1024] = {};
        const ssize_t n = ::recv(fd, buf, sizeof buf - 1, 0);
        ASSERT_GT(n, 0) << "nothing arrived on /dev/log";
        const std::string got(buf, size_t(n));
        EXPECT_EQ(got.rfind(c.priority, 0), 0u) << got;
        EXPECT_NE(got.find(" BrinquetExpressUpdater["), std::string::npos) << got;
        EXPECT_NE(got.find("]: The run ended: RunFailed. x.sh did not complete"), std::string::npos) << got;
    }
    ::close(fd);
}
#endif

TEST(SystemEventLog, TheSeamTakesTypeIdentAndText) {
    std::vector<std::string> got;
    SetEventSink([&](TEventType Type, const std::string& Ident, const std::string& Text) {
        got.push_back(std::to_string(int(Type)) + " " + Ident + " " + Text);
    });
    ReportSystemEvent(TEventType::Error, "Updater", "Update error: x");
    SetEventSink(nullptr);
    EXPECT_EQ(got, std::vector<std::string>{"2 Updater Update error: x"});
}

}  // namespace
