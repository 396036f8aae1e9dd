#pragma once
// What the file loop does with one entry, decided from the comparison flags, the entry's
// EXECUTE value and its RAN marker alone, so every combination can be checked in a table.
#include <string>

namespace engine {

struct TRunDecision {
    bool Download = false;         // fetch the entry before it may run
    bool Never = false;            // EXECUTE is NEVER: logged, and nothing else for this entry
    bool MarkerEvaluated = false;  // the RAN marker was looked at (window messages are served then)
    bool AlreadyRan = false;       // "<name> already ran." is logged
    bool Run = false;
    bool NothingNewer = false;  // neither fetched nor run: the "no newer version" line
};

// Flags: the result of CompareFileVersions. Ran: the entry's marker in the local INI as it
// stands after the download (a download sets it to "FALSE"). Values compare exactly.
TRunDecision DecideRun(int Flags, const std::string& Execute, const std::string& Ran);

// Whether the exit code of a waited run means the program completed: 260 to 65999. Every
// other code, 0 included, does not (which no POSIX program can reach: its codes end at 255).
bool IsCompletedExitCode(int Code);

}  // namespace engine
