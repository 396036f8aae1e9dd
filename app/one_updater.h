#pragma once
// One updater per program folder.
#include <string>

#include "platform/folder_lock.h"

namespace app {

// The one line a second updater gives.
inline constexpr char kAlreadyRunningText[] = "An update is already running in this folder.";

// Takes the program folder's lock for the whole run (the lock returned holds it). When another
// updater holds it, nothing has been written in the folder and the caller ends with exit code
// 1 after SayAlreadyRunning (5 under EXITCODES, see RecordAlreadyRunning).
platform::TFolderLock LockProgramFolder();

// Tells the user that an update is already running: in a message box when the run would have
// been visual, on standard error when its local INI makes it unattended. Writes no file.
void SayAlreadyRunning();

// The one trace a second updater leaves: the last-run record (written beside and renamed, so
// the running updater's own record is never half overwritten) and an event in the system's
// log. Returns the exit code: 1, or 5 when the command line asks for EXITCODES.
int RecordAlreadyRunning();

}  // namespace app
