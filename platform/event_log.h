#pragma once
// The system's own log for what administrators collect: the Windows Application event log,
// syslog (the journal) elsewhere. Reporting never fails the run: a log that cannot be reached
// loses the event, nothing more.
#include <functional>
#include <string>

namespace platform {

enum class TEventType { Information, Warning, Error };

// The source the events are filed under on Windows; syslog takes the program name instead.
inline constexpr char kEventSourceName[] = "Brinquet Express Updater";

// Reports Text (UTF-8) through the sink in force. Ident: the program name, syslog's ident.
void ReportSystemEvent(TEventType Type, const std::string& Ident, const std::string& Text);

// The system's sink itself; false when the system refused the event.
bool SystemEventSink(TEventType Type, const std::string& Ident, const std::string& Text);

// Test seam: events go to Sink instead of the system until it is called again; an empty one
// restores the system's.
using TEventSink = std::function<void(TEventType Type, const std::string& Ident, const std::string& Text)>;
void SetEventSink(TEventSink Sink);

}  // namespace platform
