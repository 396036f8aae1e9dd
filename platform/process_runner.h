#pragma once
// Starting programs: the system's realisation behind TOSServices::RunAndWait and
// TOSServices::ShellOpen.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct TCommand {
    std::string Program;
    std::vector<std::string> Arguments;
};

// Arguments separated by blanks; double quotes group blanks into one argument and are removed.
std::vector<std::string> SplitArguments(std::string_view Text);

// Gives a regular file that lacks it the execute permission (wherever it may be read).
// False when the file is missing or the permission cannot be changed.
bool EnsureExecutable(const std::string& FileName);

// Whether FileName, symbolic links resolved, lies inside Folder (false when either is missing).
bool LiesInFolder(const std::string& FileName, const std::string& Folder);

// Runs Command.Program (that very file, never looked up on the PATH) with Command.Arguments
// and waits for its end at most TimeOut ms (<= 0: no limit). Returns the exit code (128 + the
// signal number for a program ended by a signal). A program still running at the time-out is
// killed and "<CommandLine> exceeded timeout setting and has been closed." is raised; a
// program that cannot be started raises EOSError "A problem occurred when trying to run
// <CommandLine>" CR "The exception was: " + the system error message. CommandLine is how
// the run is named in those messages.
int RunProcessAndWait(const TCommand& Command, const std::string& CommandLine, int TimeOut);

// Starts Program with Arguments in a session of its own and returns without waiting; the
// program is not a child of this process, so it never lingers as a zombie. Returns 0 when
// the program was started, otherwise the errno of the failure.
int StartDetached(const std::string& Program, const std::vector<std::string>& Arguments);

}  // namespace platform
