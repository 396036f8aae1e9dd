#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/errors.h"
#include "platform/os_error.h"
#include "platform/process_runner.h"
#include "platform/unique_fd.h"
#include "platform/wait_hook.h"

extern char** environ;

namespace platform {

namespace {
using Clock = std::chrono::steady_clock;
// How long a waited run goes without a look at the window.
constexpr std::chrono::milliseconds kPumpSlice{25};

// argv for exec: the strings stay owned by the caller's vectors.
std::vector<char*> MakeArgv(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// The signals whose handling a started program must not inherit from the updater.
void DefaultSignals(sigset_t& set) {
    sigemptyset(&set);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
        sigaddset(&set, sig);
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return status;
}

int WaitBlocking(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// A started child that must not outlive an error on the way: killed and reaped unless released.
class ChildGuard {
public:
    explicit ChildGuard(pid_t pid) : pid_(pid) {}
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;
    ~ChildGuard() {
        if (pid_ > 0) KillAndReap();
    }
    void KillAndReap() {
        ::kill(pid_, SIGKILL);
        WaitBlocking(pid_);
        pid_ = -1;
    }
    int Reap() {
        const int status = WaitBlocking(pid_);
        pid_ = -1;
        return status;
    }
    // The child has ended (a zombie now): reaps it. False while it still runs.
    bool TryReap(int& status) {
        for (;;) {
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) return false;
            pid_ = -1;
            return true;
        }
    }

private:
    pid_t pid_;
};

// Waits until the child ends (true, status set) or the deadline passes (false). A pidfd
// becomes readable the moment the child ends, so the end is seen at once, not at the next
// poll of a timer.
bool WaitUntil(ChildGuard& child, pid_t pid, bool limited, Clock::time_point deadline, int& status) {
#ifdef SYS_pidfd_open
    UniqueFd pidfd(int(::syscall(SYS_pidfd_open, pid, 0)));
#else
    UniqueFd pidfd;
#endif
    // With a window to keep alive, it gets its messages between short slices of the wait;
    // the program is never stopped for them.
    Clock::time_point nextPump = Clock::now() + kPumpSlice;
    for (;;) {
        const bool pumping = HasWaitHook();
        if (pumping && Clock::now() >= nextPump) {
            RunWaitHook();
            nextPump = Clock::now() + kPumpSlice;
        }
        timespec ts{}, *timeout = nullptr;
        if (limited || pumping) {
            auto left = limited ? deadline - Clock::now() : Clock::duration(kPumpSlice);
            if (limited && left <= Clock::duration::zero()) return child.TryReap(status);
            if (pumping) left = std::min<Clock::duration>(left, std::max<Clock::duration>(nextPump - Clock::now(), {}));
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            ts.tv_sec = time_t(ns / 1000000000);
            ts.tv_nsec = long(ns % 1000000000);
            timeout = &ts;
        }
        if (pidfd.Valid()) {
            pollfd p{pidfd.Get(), POLLIN, 0};
            const int r = ::ppoll(&p, 1, timeout, nullptr);
            if (r < 0 && errno != EINTR) pidfd.Reset();  // fall back to the short poll below
            if (r > 0) {
                status = child.Reap();
                return true;
            }
            continue;
        }
        // Kernels before 5.3 have no pidfd: poll the child every millisecond.
        if (child.TryReap(status)) return true;
        timespec ms{0, 1000000};
        ::nanosleep(&ms, nullptr);
    }
}
}  // namespace

bool EnsureExecutable(const std::string& FileName) {
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const mode_t exec = S_IXUSR | S_IXGRP | S_IXOTH;
    if ((st.st_mode & exec) == exec || ((st.st_mode & S_IXUSR) && ::access(FileName.c_str(), X_OK) == 0)) return true;
    // Execute wherever read is allowed, as a freshly installed program would be.
    const mode_t wanted = st.st_mode | S_IXUSR | ((st.st_mode & (S_IRGRP | S_IROTH)) >> 2);
    return ::chmod(FileName.c_str(), wanted & 07777) == 0;
}

bool LiesInFolder(const std::string& FileName, const std::string& Folder) {
    if (Folder.empty()) return false;
    char file[PATH_MAX], dir[PATH_MAX];
    if (!::realpath(FileName.c_str(), file) || !::realpath(Folder.c_str(), dir)) return false;
    std::string prefix = dir;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    return std::strncmp(file, prefix.c_str(), prefix.size()) == 0;
}

int RunProcessAndWait(const TCommand& Command, const std::string& CommandLine, int TimeOut) {
    const bool limited = TimeOut > 0;
    const Clock::time_point start = limited ? Clock::now() : Clock::time_point();
    std::vector<char*> argv = MakeArgv(Command.Program, Command.Arguments);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    DefaultSignals(defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    // posix_spawn reports a failed exec (missing file, no permission, bad format) itself.
    const int rc = Command.Program.empty()
                       ? ENOENT
                       : ::posix_spawn(&pid, Command.Program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        throw EOSError("A problem occurred when trying to run " + CommandLine + "\r" +
                           "The exception was: " + SystemErrorMessage(rc),
                       WindowsErrorCode(rc));
    }

    ChildGuard child(pid);
    // "Whole milliseconds elapsed greater than TimeOut": the limit is passed TimeOut + 1 ms in.
    const Clock::time_point deadline = start + std::chrono::milliseconds(int64_t(TimeOut) + 1);
    int status = 0;
    if (WaitUntil(child, pid, limited, deadline, status)) return ExitCodeOf(status);
    child.KillAndReap();  // only the started process; programs it started run on
    throw EUpdaterError(CommandLine + " exceeded timeout setting and has been closed.");
}

int StartDetached(const std::string& Program, const std::vector<std::string>& Arguments) {
    std::string path = Program;
    if (path.find('/') == std::string::npos) {
        // execve does not search the PATH, and the child may only do async-signal-safe work.
        const char* env = std::getenv("PATH");
        std::string dirs = env ? env : "/usr/local/bin:/usr/bin:/bin";
        path.clear();
        size_t from = 0;
        while (from <= dirs.size()) {
            size_t to = dirs.find(':', from);
            if (to == std::string::npos) to = dirs.size();
            std::string dir = dirs.substr(from, to - from);
            const std::string candidate = (dir.empty() ? "." : dir) + "/" + Program;
            if (::access(candidate.c_str(), X_OK) == 0) {
                path = candidate;
                break;
            }
            from = to + 1;
        }
        if (path.empty()) return ENOENT;
    }
    std::vector<char*> argv = MakeArgv(path, Arguments);
    argv[0] = const_cast<char*>(Program.c_str());
    sigset_t none, defaults;
    sigemptyset(&none);
    DefaultSignals(defaults);

    // The grandchild reports a failed exec through this pipe; a successful exec closes it.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
    UniqueFd readEnd(fds[0]), writeEnd(fds[1]);

    const pid_t middle = ::fork();
    if (middle < 0) return errno;
    if (middle == 0) {
        // Only async-signal-safe calls from here on.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            struct sigaction dfl {};
            dfl.sa_handler = SIG_DFL;
            for (int sig = 1; sig < NSIG; ++sig)
                if (sigismember(&defaults, sig) == 1) ::sigaction(sig, &dfl, nullptr);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execve(path.c_str(), argv.data(), environ);
        }
        const int err = errno;
        if (grandchild > 0) ::_exit(0);
        [[maybe_unused]] const ssize_t w = ::write(writeEnd.Get(), &err, sizeof err);
        ::_exit(127);
    }
    writeEnd.Reset();
    WaitBlocking(middle);
    int err = 0;
    ssize_t n;
    while ((n = ::read(readEnd.Get(), &err, sizeof err)) < 0 && errno == EINTR) {
    }
    return n == ssize_t(sizeof err) ? err : 0;
}

}  // namespace platform
