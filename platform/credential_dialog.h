#pragma once
// The platform's own dialog asking for a user name and password, for a visual run only.
#include <string>

namespace platform {

// Asks for the credentials of Target ("host:port"), explaining why with Message. When the
// user ticks "remember", the platform keeps them for Target where the updater looks next
// time. False when cancelled or when the platform has no such dialog.
bool AskForCredentials(const std::string& Target, const std::string& Message, std::string& User, std::string& Password);

}  // namespace platform
