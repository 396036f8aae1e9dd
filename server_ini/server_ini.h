#pragma once
// A server INI read once into what the updater acts on: the marker that makes it genuine,
// SERVERPATH, FILECOUNT and each listed entry with its run policy and the publisher's promises.
// Every rule the updater applies to the text is applied here, so the update and the
// publisher's check read a file the same way: the update stops at the first fault of an
// entry when it reaches that entry, the check lists every fault.
//
// The model keeps no copy of the text: it keeps, per entry, where each key stands in the list
// it was read from, which must outlive it unchanged. A listing of 100,000 entries costs a few
// megabytes beside its text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/string_list.h"

namespace serverini {

// What every configuration error the updater reports begins with.
inline constexpr char kConfigProblem[] = "Problem with configuration file.  ";

enum class TSeverity {
    Error,    // the update fails at this point
    Warning,  // the update goes on, but likely not as the file's author meant
};

struct TFault {
    TSeverity Severity = TSeverity::Error;
    int Entry = -1;  // the entry number; -1: the file as a whole
    std::string Text;
};

// One listed entry, as a value: its texts are views into the list the model was read from.
struct TServerIniEntry {
    int Number = 0;
    std::string_view Name;     // FILE{n}NAME without surrounding blanks and control characters
    std::string_view Version;  // FILE{n}VERSION, or the version of the entry before it; empty: none yet
    std::string_view OwnVersion;  // FILE{n}VERSION alone; empty: not given
    std::string_view Execute;  // FILE{n}EXECUTE as written (NEVER and ALWAYS count in capitals only)
    bool Request = false;      // FILE{n}REQUEST is TRUE: the user is asked before it runs
    std::string_view Message;  // FILE{n}MESSAGE as written, not yet made safe to show
    int Wait = 0;              // FILE{n}WAIT in ms; 0 or less (or not a number): opened without waiting
    std::string_view HelpLocation;
    // The publisher's promises.
    std::string Sha256;    // FILE{n}SHA256 in lower case; empty: not given
    int64_t Size = -1;     // FILE{n}SIZE in bytes; -1: not given
    int Rollout = 100;     // FILE{n}ROLLOUT: per cent of workstations
    bool Downgrade = false;  // FILE{n}DOWNGRADE is TRUE: any other version is taken, older ones too

    // This entry's key: Key("WAIT") is "FILE3WAIT" for entry 3.
    std::string Key(const char* Suffix) const;
};

// Whether a line of List holds the marker FOUNDIT (in capitals): without it the file is an
// error page or a mistake, not a configuration file.
bool HoldsMarker(const platform::TStringList& List);

class TServerIni {
public:
    struct TLoaded;
    // Reads List as the updater does. OwnFiles: the updater's own files in the program folder,
    // which no entry may name (compared without regard to case). KeepWarnings: the faults that
    // do not fail an update are listed too (the update itself has no use for them).
    static TLoaded Load(const platform::TStringList& List, const std::vector<std::string>& OwnFiles,
                        bool KeepWarnings = false);

    // Whether the list holds the marker (see HoldsMarker).
    bool Genuine() const { return genuine_; }
    std::string_view ServerPath() const;  // SERVERPATH as written; empty: not given
    // FILECOUNT as a number; 0 when it is missing or not a number (a fault of the whole file).
    int FileCount() const { return fileCount_; }
    // The entries read, in order, up to the first without a name: the update goes no further.
    int EntryCount() const { return int(entries_.size()); }
    TServerIniEntry Entry(int N) const;
    // Entry N alone, its keys looked up in List whatever FILECOUNT says, with no version of
    // an earlier entry to take: for the operations a product calls outside the file loop.
    static TServerIniEntry EntryAt(const platform::TStringList& List, int N);

private:
    static constexpr uint32_t kAbsent = UINT32_MAX;
    enum TField { fName, fVersion, fExecute, fRequest, fMessage, fWait, fHelp, fSha256, fSize, fRollout, fDowngrade, fCount };
    // Where each key of an entry stands: a line number of the list, or kAbsent. The version is
    // the line the entry's offered version comes from, its own or an earlier entry's.
    struct TLines {
        uint32_t At[fCount];
    };
    std::string_view ValueAt(uint32_t Line) const;
    TServerIniEntry EntryOf(const TLines& Lines, int N) const;

    const platform::TStringList* list_ = nullptr;
    std::vector<TLines> entries_;
    uint32_t serverPath_ = kAbsent;
    int fileCount_ = 0;
    bool genuine_ = false;
};

struct TServerIni::TLoaded {
    TServerIni Model;
    std::vector<TFault> Faults;  // in the order of the file: the file's own, then each entry's
    // The first error of the file as a whole, or of entry N; nullptr when there is none.
    const TFault* FirstError(int N = -1) const;
    bool Failed() const;
};

}  // namespace serverini
