// The vendor's keys, given when the program is built (the CMake option ZEL_PUBLISHER_KEYS).
// Alone in its file so that a build with other keys compiles this one file again.
#include "trust/publisher_keys.h"

#ifndef ZEL_PUBLISHER_KEYS
#define ZEL_PUBLISHER_KEYS ""
#endif

const char* trust::BuiltInPublisherKeys() { return ZEL_PUBLISHER_KEYS; }
