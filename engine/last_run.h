#pragma once
// What one run did, kept as it happens and written at its end as <program name>_LastRun.ini,
// so an unattended run leaves its truth behind whether or not anyone asked for a log.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/log_clock.h"
#include "platform/event_log.h"

namespace engine {

// The record's file name after the program name.
inline constexpr char kLastRunSuffix[] = "_LastRun.ini";

enum class TRunOutcome { UpToDate, Updated, UpdateError, RunFailed, Stopped, StartError, AlreadyRunning };

// The outcome's name as the record writes it ("UpToDate").
const char* OutcomeName(TRunOutcome Outcome);

// The process's exit code. Unless asked for codes that tell (the parameter EXITCODES), every
// run ends with 0 but one that could not start: the product's menu relies on it.
int ExitCodeFor(TRunOutcome Outcome, bool UploadFailed, bool ExitCodesAsked);

// How the system's event log files the run's outcome.
platform::TEventType EventTypeFor(TRunOutcome Outcome, bool UploadFailed);

// The local time in ISO 8601 with its offset from UTC: 2026-12-10T13:05:07+01:00.
std::string IsoLocalTimeText(const TLocalDateTime& When);

// One entry of the file list that the run compared.
struct TLastRunEntry {
    int Number = 0;
    std::string Name, Offered, InstalledBefore;
    bool Downloaded = false;
    std::string Ran = "FALSE";  // TRUE, FAILED (ran and did not complete) or FALSE
    bool Waited = false;
    int ExitCode = 0;      // of a waited run
    std::string HeldBack;  // why a newer release was not taken in this run (the staged rollout)
    // Downloaded, ran (or tried to), or held back: the record gives it a section of its own.
    bool ActedOn() const { return Downloaded || Ran != "FALSE" || Waited || !HeldBack.empty(); }
};

enum class TUploadState { NotDue, Uploaded, UploadFailed };

class TLastRun {
public:
    void NoteStarted() { FStarted = IsoLocalTimeText(LogClockNow()); }
    bool Started() const { return !FStarted.empty(); }
    void NoteStartError(const std::string& Text);
    void NoteUpdateError(const std::string& Text);
    void NoteRunFailed(const std::string& Text);
    void NoteAlreadyRunning(const std::string& Text);
    // The update went through to its closing step.
    void NoteCompleted() { FCompleted = true; }
    // The run ended with the user's Stop or Close in force.
    void NoteStopping(bool Value) { FStopping = Value; }

    // The entry of that number, the same one each time it is asked for while it is the run's
    // current entry. Once the run asks for another, an entry it did not act on is only counted.
    TLastRunEntry& Entry(int Number);

    // The product's own keys, written in a section of their own in the order first set.
    void SetProductValue(const std::string& Key, const std::string& Value);
    void NoteUpload(TUploadState State, const std::string& Text = "");
    bool UploadFailed() const { return FUpload == TUploadState::UploadFailed; }

    TRunOutcome Outcome() const;
    // The error behind the outcome (the first of its kind); a failed upload's after a run
    // that otherwise went through.
    std::string Error() const;
    // The entries the record lists: those the run acted on, in the order first asked, and the
    // one an update error or the user's stop ended the run at.
    std::vector<TLastRunEntry> Entries() const;
    // Entries compared, and those of them the record does not list.
    size_t Compared() const { return FEntries.size() + FUnchanged.size(); }
    size_t Unchanged() const;

    // The record's INI text (UTF-8, CR LF), ended now with ExitCode.
    std::string IniText(int ExitCode) const;

private:
    std::string FStarted;
    // The first text of each kind; a kind happened when its text is there.
    std::optional<std::string> FStartError, FUpdateError, FRunFailed, FAlreadyRunning, FUploadError;
    bool FCompleted = false, FStopping = false;
    // A list of 100 000 entries keeps only those acted on (and the current one, last): a
    // section for each compared entry cost tens of megabytes and as many in the record.
    std::vector<TLastRunEntry> FEntries;
    bool FAscending = true;     // FEntries sorted by Number, as they were added
    std::vector<int> FUnchanged;  // the numbers compared and left alone
    bool FUnchangedAscending = true;
    // The current entry, when it is not to be listed.
    bool CurrentIsUnlisted() const;
    std::vector<std::pair<std::string, std::string>> FProduct;
    TUploadState FUpload = TUploadState::NotDue;
};

}  // namespace engine
