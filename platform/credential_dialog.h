#pragma once
// The platform's own dialog asking for a user name and password, for a visual run only.
#include <string>

namespace platform {

// Asks for the credentials of Target ("host:port"), explaining why with Message. When the
// user ticks "remember", the platform keeps them for Target where the updater looks next
// time, but only once ConfirmCredentials says they were accepted. False when cancelled or
// when the platform has no such dialog.
bool AskForCredentials(const std::string& Target, const std::string& Message, std::string& User, std::string& Password);
// What became of the last answer for Target: Accepted keeps it if the user asked for that;
// otherwise it is dropped, so a wrong password is never remembered.
void ConfirmCredentials(const std::string& Target, bool Accepted);

}  // namespace platform
