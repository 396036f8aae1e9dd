#pragma once
// The names the server INI gives its files, checked before anything is fetched or written.
#include <string>
#include <string_view>
#include <vector>

namespace serverini {

// The transfer file every download is written to before it is put in place.
inline constexpr char kTransferFile[] = "Temp";
// A download whose whole is pinned by SHA256 goes to its own transfer file instead, which a cut
// leaves behind with the record of what it is, so the next attempt asks only for the rest.
// Downloads of other files never touch either.
inline constexpr char kKeptTransferFile[] = "Temp.part";
inline constexpr char kResumeRecordFile[] = "Temp.resume";
// What a file in use is moved aside to while its new copy takes its place.
inline constexpr char kMovedAsideSuffix[] = ".old";

// Why a listed name may not be used.
enum class TFileNameFault {
    None,
    LeavesProgramFolder,  // absolute, a drive letter, a backslash, "..", a folder, empty or too long
    ControlCharacter,     // a NUL, CR, LF or any other control character
    OwnFile,              // one of the updater's own files (local INI, log, transfer file, ...)
    OtherSpelling,        // a part ending in a dot or a blank, or a colon: Windows reads another name
};

// The configuration error naming Key (FILE{n}NAME) for a listed name with Fault.
std::string FileNameFaultText(TFileNameFault Fault, const std::string& Key, std::string_view Name);

// Checks a listed name, already stripped of surrounding blanks. Anyone who can answer in place
// of the update server must not be able to write, and then run, any other file of the user's,
// nor replace the files that hold the updater's own state. OwnFiles are names in the program
// folder, compared without regard to case (a publisher may still update the updater itself:
// its executable is not among them). "a/./b" and "a//b" are accepted as "a/b".
TFileNameFault CheckFileName(const std::string& Name, const std::vector<std::string>& OwnFiles);

// The name with its "." and empty parts dropped: "./a//b" is "a/b".
std::string NormalizedFileName(const std::string& Name);

// True when the name stays inside the program folder and holds no control character.
bool IsSafeFileName(const std::string& Name);

// A .bat or .cmd file, which Windows runs through the command interpreter (any letter case).
bool IsBatchFile(const std::string& Name);
// Whether Text holds a character the command interpreter reads as its own when it reads a
// batch file's command line again: & | < > ^ % ! " ( ) or a control character.
bool HoldsCommandCharacter(const std::string& Text);

// The name as a URL path: every byte a path may not hold (a blank, "#", "?", "%", a byte
// beyond ASCII, ...) percent-encoded; "/" and the characters a path may hold stay as they are.
std::string UrlEncodedFileName(const std::string& Name);

// The program name an executable's file name gives: up to its first dot ("My.Updater.exe"
// gives "My"); a name without a dot, as Linux programs have, is the program name whole.
std::string ProgramNameOf(const std::string& ExeFileName);

// The server INI key of entry N: FileKey(3, "NAME") is "FILE3NAME".
std::string FileKey(int N, const char* Suffix);

}  // namespace serverini
