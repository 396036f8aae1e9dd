#include "platform/file_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string_view>

#include "platform/errors.h"
#include "platform/unique_fd.h"

namespace platform {

namespace {
int64_t g_write_fault = -1;
bool g_rename_fault = false;
bool g_read_fault = false;

std::string SysText(int err) { return std::strerror(err); }

// Writes all of Bytes or sets errno and returns false.
bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        size_t piece = n;
        if (g_write_fault >= 0) {
            if (g_write_fault == 0) {
                g_write_fault = -1;
                errno = ENOSPC;
                return false;
            }
            piece = std::min<size_t>(piece, size_t(g_write_fault));
        }
        const ssize_t w = ::write(fd, p, piece);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        if (g_write_fault > 0) g_write_fault -= w;
        p += w, n -= size_t(w);
    }
    return true;
}
// Renames From over To after From reached the disk, then makes the rename itself durable.
// Returns 0 or the errno of the failure.
std::string FolderOf(const std::string& FileName) {
    const std::string folder = ExtractFilePath(FileName);
    return folder.empty() ? std::string(".") : folder;
}

void SyncFolder(const std::string& Folder) {
    // A folder that cannot be synced (some network file systems) still holds its files.
    const int dir = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// Folders that gained a file under a new name whose entry is not yet on disk. A crash may lose
// such a file, which then is simply missing and fetched again; it replaced nothing. A run ends
// with its last-run record, whose durable rename syncs them; a normal exit does at the latest.
struct UnsyncedFolders {
    std::vector<std::string> folders;
    ~UnsyncedFolders() {
        for (const std::string& folder : folders) SyncFolder(folder);
    }
} g_unsynced;
std::vector<std::string>& g_unsynced_folders = g_unsynced.folders;

int NoteRenameFault() {
    if (!g_rename_fault) return 0;
    g_rename_fault = false;
    return EIO;
}

int DurableRename(const std::string& From, const std::string& To) {
    if (const int fault = NoteRenameFault()) return fault;
    if (::rename(From.c_str(), To.c_str()) != 0) return errno;
    // The folder's entry is what a crash would lose. A state written at once does not go to
    // disk ahead of the new files the run put in place before it.
    const std::string folder = FolderOf(To);
    for (const std::string& other : g_unsynced_folders)
        if (other != folder) SyncFolder(other);
    g_unsynced_folders.clear();
    SyncFolder(folder);
    return 0;
}

}  // namespace

void SetWriteFaultAfterBytes(int64_t Bytes) { g_write_fault = Bytes; }
void SetRenameFaultOnce() { g_rename_fault = true; }
void SetReadFaultOnce() { g_read_fault = true; }

bool FileExists(const std::string& FileName) {
    struct stat st {};
    return ::stat(FileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsSameFile(const std::string& A, const std::string& B) {
    struct stat a {
    }, b{};
    return ::stat(A.c_str(), &a) == 0 && ::stat(B.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int64_t FileSize(const std::string& FileName) {
    struct stat st {};
    return ::stat(FileName.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

std::vector<std::string> NamesEndingIn(const std::string& Folder, const std::string& Suffix) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(Folder.empty() ? "." : Folder.c_str());
    if (!dir) return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (name.size() > Suffix.size() && name.substr(name.size() - Suffix.size()) == Suffix) names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

bool DeleteFileIfExists(const std::string& FileName) { return ::unlink(FileName.c_str()) == 0; }

bool RenameFile(const std::string& From, const std::string& To) {
    // Like MoveFile: an existing target is not replaced.
    if (::access(To.c_str(), F_OK) == 0) return false;
    return ::rename(From.c_str(), To.c_str()) == 0;
}

std::string ExtractFilePath(const std::string& FileName) {
    const size_t p = FileName.find_last_of('/');
    return p == std::string::npos ? std::string() : FileName.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& FileName) {
    const size_t p = FileName.find_last_of('/');
    return p == std::string::npos ? FileName : FileName.substr(p + 1);
}

std::string ReadFileBytes(const std::string& FileName) {
    std::string out;
    // Room for the whole file at once: growing by doubling would hold up to twice its size.
    if (const int64_t size = FileSize(FileName); size > 0) out.reserve(size_t(size));
    ReadFileInPieces(FileName, [&out](const char* p, size_t n) { out.append(p, n); });
    return out;
}

void ReadFileInPieces(const std::string& FileName, const std::function<void(const char*, size_t)>& Piece) {
    const UniqueFd fd(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) throw EUpdaterError("Cannot open file \"" + FileName + "\". " + SysText(errno));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (g_read_fault) {
            g_read_fault = false;
            n = -1;
            errno = EIO;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EUpdaterError("Cannot read file \"" + FileName + "\". " + SysText(errno));
        if (n == 0) break;
        Piece(buf, size_t(n));
    }
}

int64_t FileSizeOf(const std::string& FileName) {
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0)
        throw EUpdaterError("Cannot open file \"" + FileName + "\". " + SysText(errno));
    if (S_ISDIR(st.st_mode)) throw EUpdaterError("Cannot open file \"" + FileName + "\". " + SysText(EISDIR));
    return int64_t(st.st_size);
}

void WriteFileAtomically(const std::string& FileName, const std::string& Bytes) {
    std::random_device rd;
    const std::string temp = FileName + ".tmp" + std::to_string(rd() % 1000000);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw EUpdaterError("Cannot create file \"" + FileName + "\". " + SysText(errno));
    const bool ok = WriteAll(fd, Bytes.data(), Bytes.size()) && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0) err = DurableRename(temp, FileName);
    if (err != 0) {
        ::unlink(temp.c_str());
        throw EUpdaterError("Cannot create file \"" + FileName + "\". " + SysText(err));
    }
}

void ReplaceFile(const std::string& From, const std::string& To) {
    int err = 0;
    const int fd = ::open(From.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
    } else {
        if (::fsync(fd) != 0) err = errno;
        ::close(fd);
    }
    struct stat st {};
    const bool replaces = ::stat(To.c_str(), &st) == 0;
    if (err == 0 && replaces && S_ISDIR(st.st_mode)) err = EISDIR;
    if (err == 0 && replaces) err = DurableRename(From, To);
    // A new name replaces nothing: its folder is synced once, by the next durable rename or
    // at the end of the run, not once per file.
    if (err == 0 && !replaces) {
        err = NoteRenameFault();
        if (err == 0 && ::rename(From.c_str(), To.c_str()) != 0) err = errno;
        const std::string folder = FolderOf(To);
        if (err == 0 && std::find(g_unsynced_folders.begin(), g_unsynced_folders.end(), folder) ==
                            g_unsynced_folders.end())
            g_unsynced_folders.push_back(folder);
    }
    if (err != 0) throw EUpdaterError("Cannot replace file \"" + To + "\". " + SysText(err));
}

void MoveFileOver(const std::string& From, const std::string& To) {
    int err = 0;
    struct stat st {};
    if (::stat(To.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) err = EISDIR;
    if (err == 0 && ::rename(From.c_str(), To.c_str()) != 0) err = errno;
    if (err != 0) throw EUpdaterError("Cannot replace file \"" + To + "\". " + SysText(err));
}

bool ReplaceFileMovingAside(const std::string& From, const std::string& To, const std::string&) {
    // The new copy keeps what the old one was allowed: an updater that replaced itself must
    // still start next time.
    struct stat old {};
    if (::stat(To.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::chmod(From.c_str(), old.st_mode & 07777);
    ReplaceFile(From, To);  // a running program keeps its old file open while the name moves on
    return false;
}

void ForceDirectories(const std::string& Folder) {
    std::string path = Folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return;
        throw EUpdaterError("Cannot create folder \"" + Folder + "\". " + SysText(ENOTDIR));
    }
    const std::string parent = ExtractFilePath(path);
    if (!parent.empty() && parent != path) ForceDirectories(parent);
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        throw EUpdaterError("Cannot create folder \"" + Folder + "\". " + SysText(errno));
}

void AppendToFile(const std::string& FileName, const std::string& Bytes) {
    const int fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) throw EUpdaterError("Cannot open file \"" + FileName + "\". " + SysText(errno));
    const bool ok = WriteAll(fd, Bytes.data(), Bytes.size());
    const int err = errno;
    ::close(fd);
    if (!ok) throw EUpdaterError("Cannot write file \"" + FileName + "\". " + SysText(err));
}

std::string ExecutableFileName() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

}  // namespace platform
