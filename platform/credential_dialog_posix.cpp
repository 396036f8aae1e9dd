// No desktop-neutral credential dialog here: a proxy's password comes from its URL.
#include "platform/credential_dialog.h"

namespace platform {

bool AskForCredentials(const std::string&, const std::string&, std::string&, std::string&) { return false; }
void ConfirmCredentials(const std::string&, bool) {}

}  // namespace platform
