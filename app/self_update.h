#pragma once
// What is left of the updater's update of itself.

namespace app {

// Deletes the copy of the updater that an update of itself moved aside while it ran (Windows
// cannot replace a running program); the copy now running is the new one.
void RemoveMovedAsideCopy();

}  // namespace app
