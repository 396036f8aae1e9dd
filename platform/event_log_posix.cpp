#include <syslog.h>

#include "platform/event_log.h"

namespace platform {

bool SystemEventSink(TEventType Type, const std::string& Ident, const std::string& Text) {
    const int priority = Type == TEventType::Error ? LOG_ERR : Type == TEventType::Warning ? LOG_WARNING : LOG_INFO;
    // openlog keeps the pointer: the ident must outlive the call, and closelog ends its use.
    const std::string ident = Ident;
    ::openlog(ident.c_str(), LOG_PID, LOG_USER);
    ::syslog(priority, "%s", Text.c_str());
    ::closelog();
    return true;
}

}  // namespace platform
