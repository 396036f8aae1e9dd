#include <windows.h>

#include "platform/event_log.h"
#include "platform/wide_text_win.h"

namespace platform {

bool SystemEventSink(TEventType Type, const std::string&, const std::string& Text) {
    const WORD type = Type == TEventType::Error     ? EVENTLOG_ERROR_TYPE
                      : Type == TEventType::Warning ? EVENTLOG_WARNING_TYPE
                                                    : EVENTLOG_INFORMATION_TYPE;
    HANDLE source = ::RegisterEventSourceW(nullptr, Widen(kEventSourceName).c_str());
    if (!source) return false;
    const std::wstring text = Widen(Text);
    LPCWSTR strings[] = {text.c_str()};
    const BOOL ok = ::ReportEventW(source, type, 0, 0, nullptr, 1, 0, strings, nullptr);
    ::DeregisterEventSource(source);
    return ok != FALSE;
}

}  // namespace platform
