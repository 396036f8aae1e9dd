// Whether a listed name reaches one of the updater's own files, asked for every entry of a
// long list. The own files' identities are kept between calls and taken again only after a
// name in one of their folders was created, removed or renamed (inotify says so), so a check
// costs a stat of the listed name and one read instead of a stat per own file.
#include "platform/file_utils.h"
#include "platform/same_file_posix.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "platform/unique_fd.h"

namespace platform {

namespace {

struct TIdentity {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
};

class TOwnIdentities {
public:
    // The identities of Others as they are now; false when they cannot be kept (no inotify,
    // or one of them is a link, whose target may change where no watch sees it).
    bool Current(const std::vector<std::string>& Others) {
        if (Others != others_ || (watch_.Valid() && Changed())) Take(Others);
        return watch_.Valid();
    }
    const std::vector<TIdentity>& Identities() const { return identities_; }

private:
    bool Changed() const {
        alignas(inotify_event) char buf[4096];
        bool any = false;
        for (;;) {
            const ssize_t n = ::read(watch_.Get(), buf, sizeof buf);
            if (n > 0) {
                any = true;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // EAGAIN: nothing happened since the last look. Anything else: trust nothing.
            return any || !(n < 0 && errno == EAGAIN);
        }
    }

    void Take(const std::vector<std::string>& Others) {
        others_ = Others;
        identities_.assign(Others.size(), TIdentity{});
        // The watch comes first: a change while the identities are taken shows at the next call.
        watch_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        std::vector<std::string> folders;
        for (const std::string& other : Others) {
            const std::string path = ExtractFilePath(other);
            const std::string folder = path.empty() ? std::string(".") : path;
            if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
        }
        constexpr uint32_t mask =
            IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
        for (const std::string& folder : folders)
            if (watch_.Valid() && ::inotify_add_watch(watch_.Get(), folder.c_str(), mask) < 0) watch_.Reset();
        for (size_t i = 0; i < Others.size(); ++i) {
            struct stat st {};
            if (::lstat(Others[i].c_str(), &st) != 0) continue;
            if (S_ISLNK(st.st_mode)) watch_.Reset();
            identities_[i] = {true, st.st_dev, st.st_ino};
        }
    }

    std::vector<std::string> others_;
    std::vector<TIdentity> identities_;
    UniqueFd watch_;
};

std::mutex g_own_mutex;
TOwnIdentities g_own;

}  // namespace

bool IsSameFileAsAny(const std::string& A, const std::vector<std::string>& Others) {
    struct stat a {};
    return ::stat(A.c_str(), &a) == 0 && IdentityIsAnyOf(a, Others);
}

bool IdentityIsAnyOf(const struct stat& a, const std::vector<std::string>& Others) {
    if (S_ISDIR(a.st_mode)) return false;
    const std::lock_guard<std::mutex> lock(g_own_mutex);
    if (g_own.Current(Others)) {
        for (const TIdentity& b : g_own.Identities())
            if (b.exists && a.st_dev == b.dev && a.st_ino == b.ino) return true;
        return false;
    }
    for (const std::string& other : Others) {
        struct stat b {};
        if (::stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino) return true;
    }
    return false;
}

}  // namespace platform
