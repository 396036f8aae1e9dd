#pragma once
// One updater per program folder.
#include <string>

#include "platform/folder_lock.h"

namespace app {

// The one line a second updater gives.
inline constexpr char kAlreadyRunningText[] = "An update is already running in this folder.";

// Takes the program folder's lock for the whole run (the lock returned holds it). When another
// updater holds it, nothing has been written in the folder and the caller ends with exit code
// 1 after SayAlreadyRunning.
platform::TFolderLock LockProgramFolder();

// Tells the user that an update is already running: in a message box when the run would have
// been visual, on standard error when its local INI makes it unattended. Writes no file.
void SayAlreadyRunning();

}  // namespace app
