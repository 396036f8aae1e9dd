#pragma once
// Files and paths. Paths use "/"; a folder name always ends in its separator.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

bool FileExists(const std::string& FileName);
// Whether A and B reach the same existing file, whatever spelling each uses: on Windows the
// same volume serial number and file index (so a short 8.3 name, another letter case or a
// trailing dot is seen through), on POSIX the same device and inode. False when either is missing.
bool IsSameFile(const std::string& A, const std::string& B);
// Whether the file A (not a folder) is the same existing file as any of Others, as IsSameFile
// tells; A is examined once for all of them.
bool IsSameFileAsAny(const std::string& A, const std::vector<std::string>& Others);
// The file's size in bytes; -1 when it does not exist or cannot be examined.
int64_t FileSize(const std::string& FileName);
// The names of Folder's entries that end in Suffix (its letter case ignored where the file
// system ignores it), for a look at a long folder once instead of a name at a time. Empty when
// the folder cannot be listed.
std::vector<std::string> NamesEndingIn(const std::string& Folder, const std::string& Suffix);
// Both report success and never raise; callers that do not care ignore the result.
bool DeleteFileIfExists(const std::string& FileName);
bool RenameFile(const std::string& From, const std::string& To);
// Flushes From to disk and renames it over To in one step, so a crash at any moment leaves To
// either as it was or complete with From's bytes. Raises EUpdaterError ("Cannot replace file
// \"%s\". %s") and leaves both files as they were; To may not be a folder. A To that did not
// exist replaces nothing, so its folder's entry is not flushed per file (POSIX): the next
// durable rename (WriteFileAtomically, ReplaceFile over an existing file) or the normal exit
// flushes it, once for all new files of the folder.
void ReplaceFile(const std::string& From, const std::string& To);
// As ReplaceFile, for a To that may be in use: Windows replaces no running program and no
// loaded library, but lets it be renamed. Such a To is moved aside to Aside first (an older
// Aside is deleted), From takes its place, and Aside is deleted at once when it can be, else
// marked for deletion at the next restart. Returns true when To was moved aside. Where a file
// in use can be replaced (POSIX), this is ReplaceFile, the new file taking the old one's
// permission bits.
bool ReplaceFileMovingAside(const std::string& From, const std::string& To, const std::string& Aside);
// Renames From over To and flushes nothing: for a scratch file that is read and deleted in the
// same run, which a crash may lose. Raises EUpdaterError as ReplaceFile does.
void MoveFileOver(const std::string& From, const std::string& To);
// Creates Folder and the folders above it that are missing. Raises EUpdaterError ("Cannot
// create folder \"%s\". %s"); a file in the way is an error, an existing folder is not.
void ForceDirectories(const std::string& Folder);

// The folder part with its trailing separator ("" when there is none), and the name part.
std::string ExtractFilePath(const std::string& FileName);
std::string ExtractFileName(const std::string& FileName);

// The whole file; raises EUpdaterError ("Cannot open file \"%s\". %s") when it cannot.
std::string ReadFileBytes(const std::string& FileName);
// The size in bytes; raises EUpdaterError ("Cannot open file \"%s\". %s") when it cannot.
int64_t FileSizeOf(const std::string& FileName);
// Hands the file's bytes to Piece in order, in pieces of at most 64 KiB, for files too large
// to hold; raises EUpdaterError as ReadFileBytes does.
void ReadFileInPieces(const std::string& FileName, const std::function<void(const char*, size_t)>& Piece);
// Writes Bytes to a temporary file beside FileName, flushes it and renames it over FileName.
// Raises EUpdaterError ("Cannot create file \"%s\". %s") and leaves the old file as it was.
void WriteFileAtomically(const std::string& FileName, const std::string& Bytes);
// Appends Bytes, creating the file when missing; raises EUpdaterError on failure.
void AppendToFile(const std::string& FileName, const std::string& Bytes);

// The running executable's full path.
std::string ExecutableFileName();

// Test seam: the next atomic write fails after this many bytes (-1: never), as a full disk would.
void SetWriteFaultAfterBytes(int64_t Bytes);
// Test seam: the next replacing rename (WriteFileAtomically, ReplaceFile) fails after its file
// has been flushed, as a crash between the two steps would leave it.
void SetRenameFaultOnce();
// Test seam: the next whole-file read fails (EIO) after the file was opened, as a bad disk would.
void SetReadFaultOnce();

}  // namespace platform
