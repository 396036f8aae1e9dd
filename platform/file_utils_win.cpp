#include "platform/file_utils.h"

#include <windows.h>

#include <algorithm>
#include <random>

#include "platform/errors.h"
#include "platform/os_error.h"
#include "platform/strconv.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_text_win.h"

namespace platform {

// windows.h maps ReplaceFile to ReplaceFileW; this file defines the updater's own.
#undef ReplaceFile

namespace {
int64_t g_write_fault = -1;
bool g_rename_fault = false;
bool g_read_fault = false;

std::string LastText() { return SystemErrorText(int(GetLastError())); }

// Writes all of Bytes or leaves the reason in GetLastError and returns false.
bool WriteAll(HANDLE h, const char* p, size_t n) {
    while (n > 0) {
        size_t piece = std::min<size_t>(n, 1u << 30);
        if (g_write_fault >= 0) {
            if (g_write_fault == 0) {
                g_write_fault = -1;
                SetLastError(ERROR_DISK_FULL);
                return false;
            }
            piece = std::min<size_t>(piece, size_t(g_write_fault));
        }
        DWORD written = 0;
        if (!WriteFile(h, p, DWORD(piece), &written, nullptr) || written == 0) return false;
        if (g_write_fault > 0) g_write_fault -= written;
        p += written, n -= written;
    }
    return true;
}

size_t LastSeparator(const std::string& FileName) { return FileName.find_last_of("/\\"); }

// Renames From over To once From is on disk, the rename itself written through. 0 or the
// system's error code.
DWORD DurableRename(const std::wstring& From, const std::wstring& To) {
    if (g_rename_fault) {
        g_rename_fault = false;
        return ERROR_WRITE_FAULT;
    }
    return MoveFileExW(From.c_str(), To.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0
                                                                                                     : GetLastError();
}
}  // namespace

void SetRenameFaultOnce() { g_rename_fault = true; }
void SetReadFaultOnce() { g_read_fault = true; }

int64_t FileSize(const std::string& FileName) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(WidePath(FileName).c_str(), GetFileExInfoStandard, &data)) return -1;
    return int64_t(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}

namespace {
// ReplaceFile's work: 0 or the system's error code.
DWORD FlushAndRename(const std::string& From, const std::string& To) {
    DWORD err = 0;
    {
        TUniqueFileHandle h(CreateFileW(WidePath(From).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.Valid() || !FlushFileBuffers(h.Get())) err = GetLastError();
    }
    const DWORD a = GetFileAttributesW(WidePath(To).c_str());
    if (err == 0 && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) err = ERROR_ACCESS_DENIED;
    if (err == 0) err = DurableRename(WidePath(From), WidePath(To));
    return err;
}

[[noreturn]] void CannotReplace(const std::string& To, DWORD Err) {
    throw EUpdaterError("Cannot replace file \"" + To + "\". " + SystemErrorText(int(Err)));
}
}  // namespace

void ReplaceFile(const std::string& From, const std::string& To) {
    if (const DWORD err = FlushAndRename(From, To)) CannotReplace(To, err);
}

void MoveFileOver(const std::string& From, const std::string& To) {
    const std::wstring to = WidePath(To);
    const DWORD a = GetFileAttributesW(to.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) CannotReplace(To, ERROR_ACCESS_DENIED);
    if (!MoveFileExW(WidePath(From).c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) CannotReplace(To, GetLastError());
}

bool ReplaceFileMovingAside(const std::string& From, const std::string& To, const std::string& Aside) {
    const DWORD err = FlushAndRename(From, To);
    if (err == 0) return false;
    if ((err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) || !FileExists(To)) CannotReplace(To, err);
    const std::wstring to = WidePath(To), aside = WidePath(Aside);
    DeleteFileW(aside.c_str());
    if (!MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) CannotReplace(To, err);
    if (const DWORD again = DurableRename(WidePath(From), to)) {
        MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
        CannotReplace(To, again);
    }
    // Still in use: gone at the next restart where the system lets us ask (an administrator),
    // else at the updater's next start.
    if (!DeleteFileW(aside.c_str())) MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return true;
}

void ForceDirectories(const std::string& Folder) {
    std::string path = Folder;
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    const DWORD a = GetFileAttributesW(WidePath(path).c_str());
    if (a != INVALID_FILE_ATTRIBUTES) {
        if (a & FILE_ATTRIBUTE_DIRECTORY) return;
        throw EUpdaterError("Cannot create folder \"" + Folder + "\". " + SystemErrorText(ERROR_DIRECTORY));
    }
    const std::string parent = ExtractFilePath(path);
    if (!parent.empty() && parent != path && !(parent.size() == 3 && parent[1] == ':')) ForceDirectories(parent);
    if (!CreateDirectoryW(WidePath(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw EUpdaterError("Cannot create folder \"" + Folder + "\". " + LastText());
}

void SetWriteFaultAfterBytes(int64_t Bytes) { g_write_fault = Bytes; }

bool FileExists(const std::string& FileName) {
    const DWORD a = GetFileAttributesW(WidePath(FileName).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {
bool Identity(const std::string& FileName, BY_HANDLE_FILE_INFORMATION& Info) {
    // No access asked for: a file open elsewhere without sharing still tells who it is.
    TUniqueFileHandle h(CreateFileW(WidePath(FileName).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h.Valid() && GetFileInformationByHandle(h.Get(), &Info);
}
}  // namespace

bool IsSameFile(const std::string& A, const std::string& B) {
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return Identity(A, a) && Identity(B, b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool IsSameFileAsAny(const std::string& A, const std::vector<std::string>& Others) {
    BY_HANDLE_FILE_INFORMATION a{};
    if (!Identity(A, a) || (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    for (const std::string& other : Others) {
        BY_HANDLE_FILE_INFORMATION b{};
        if (Identity(other, b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
            a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow)
            return true;
    }
    return false;
}

std::vector<std::string> NamesEndingIn(const std::string& Folder, const std::string& Suffix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    // The pattern also matches short 8.3 names ("X~1.OLD" of "x.oldish"): the long name decides.
    TUniqueFindHandle find(FindFirstFileExW(WidePath(Folder + "*" + Suffix).c_str(), FindExInfoBasic, &found,
                                            FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find.Valid()) return names;
    const std::string suffix = UpperCase(Suffix);
    do {
        const std::string name = Narrow(found.cFileName);
        if (name.size() > suffix.size() && UpperCase(name.substr(name.size() - suffix.size())) == suffix)
            names.push_back(name);
    } while (FindNextFileW(find.Get(), &found));
    return names;
}

bool DeleteFileIfExists(const std::string& FileName) { return DeleteFileW(WidePath(FileName).c_str()) != 0; }

bool RenameFile(const std::string& From, const std::string& To) {
    return MoveFileW(WidePath(From).c_str(), WidePath(To).c_str()) != 0;  // never replaces To
}

std::string ExtractFilePath(const std::string& FileName) {
    const size_t p = LastSeparator(FileName);
    return p == std::string::npos ? std::string() : FileName.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& FileName) {
    const size_t p = LastSeparator(FileName);
    return p == std::string::npos ? FileName : FileName.substr(p + 1);
}

namespace {
TUniqueFileHandle OpenForReading(const std::string& FileName) {
    TUniqueFileHandle h(CreateFileW(WidePath(FileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) throw EUpdaterError("Cannot open file \"" + FileName + "\". " + LastText());
    return h;
}
}  // namespace

std::string ReadFileBytes(const std::string& FileName) {
    std::string out;
    // Room for the whole file at once: growing by doubling would hold up to twice its size.
    if (const int64_t size = FileSize(FileName); size > 0) out.reserve(size_t(size));
    ReadFileInPieces(FileName, [&out](const char* p, size_t n) { out.append(p, n); });
    return out;
}

void ReadFileInPieces(const std::string& FileName, const std::function<void(const char*, size_t)>& Piece) {
    const TUniqueFileHandle h = OpenForReading(FileName);
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        const bool failed = g_read_fault ? (g_read_fault = false, SetLastError(ERROR_READ_FAULT), true)
                                         : !ReadFile(h.Get(), buf, sizeof buf, &n, nullptr);
        if (failed) throw EUpdaterError("Cannot read file \"" + FileName + "\". " + LastText());
        if (n == 0) break;
        Piece(buf, n);
    }
}

int64_t FileSizeOf(const std::string& FileName) {
    const TUniqueFileHandle h = OpenForReading(FileName);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.Get(), &size)) throw EUpdaterError("Cannot open file \"" + FileName + "\". " + LastText());
    return int64_t(size.QuadPart);
}

void WriteFileAtomically(const std::string& FileName, const std::string& Bytes) {
    std::random_device rd;
    const std::wstring target = WidePath(FileName);
    const std::wstring temp = target + L".tmp" + std::to_wstring(rd() % 1000000);
    DWORD why = 0;
    {
        TUniqueFileHandle h(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.Valid()) throw EUpdaterError("Cannot create file \"" + FileName + "\". " + LastText());
        if (!WriteAll(h.Get(), Bytes.data(), Bytes.size()) || !FlushFileBuffers(h.Get())) why = GetLastError();
    }
    if (why == 0) why = DurableRename(temp, target);
    if (why != 0) {
        DeleteFileW(temp.c_str());
        throw EUpdaterError("Cannot create file \"" + FileName + "\". " + SystemErrorText(int(why)));
    }
}

void AppendToFile(const std::string& FileName, const std::string& Bytes) {
    TUniqueFileHandle h(CreateFileW(WidePath(FileName).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) throw EUpdaterError("Cannot open file \"" + FileName + "\". " + LastText());
    if (!WriteAll(h.Get(), Bytes.data(), Bytes.size()))
        throw EUpdaterError("Cannot write file \"" + FileName + "\". " + LastText());
}

std::string ExecutableFileName() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return Narrow(std::wstring_view(buf.data(), n));
        buf.resize(buf.size() * 2);
    }
}

}  // namespace platform
