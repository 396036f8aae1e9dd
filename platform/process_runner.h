#pragma once
// Starting programs from a Windows-style command line: the system's realisation behind
// TOSServices::RunAndWait and TOSServices::ShellOpen.
#include <string>
#include <string_view>
#include <vector>

struct TCommand {
    std::string Program;
    std::vector<std::string> Arguments;
};

// Splits a command line as Windows splits an unquoted one: the shortest leading run of
// blank-separated words that names an existing file is the program and the rest are its
// arguments, so "/opt/my app/run.sh /s" finds "/opt/my app/run.sh". A command line that
// starts with a double quote names the program up to the closing quote. When no run names
// a file, the first word is the program (and the start will report it missing).
TCommand SplitCommandLine(std::string_view CommandLine);

// Arguments separated by blanks; double quotes group blanks into one argument and are removed.
std::vector<std::string> SplitArguments(std::string_view Text);

// Gives a regular file that lacks it the execute permission (wherever it may be read).
// False when the file is missing or the permission cannot be changed.
bool EnsureExecutable(const std::string& FileName);

// Runs CommandLine and waits for its end at most TimeOut ms (<= 0: no limit). Returns the
// exit code (128 + the signal number for a program ended by a signal). A program still
// running at the time-out is killed and "<CommandLine> exceeded timeout setting and has been
// closed." is raised; a program that cannot be started raises EOSError "A problem occurred
// when trying to run <CommandLine>" CR "The exception was: " + the system error message.
int RunProcessAndWait(const std::string& CommandLine, int TimeOut);

// Starts Program with Arguments in a session of its own and returns without waiting; the
// program is not a child of this process, so it never lingers as a zombie. Returns 0 when
// the program was started, otherwise the errno of the failure.
int StartDetached(const std::string& Program, const std::vector<std::string>& Arguments);
