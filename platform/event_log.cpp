#include "platform/event_log.h"

#include <utility>

namespace platform {
namespace {
TEventSink& Sink() {
    static TEventSink sink;
    return sink;
}
}  // namespace

void ReportSystemEvent(TEventType Type, const std::string& Ident, const std::string& Text) {
    if (Sink())
        Sink()(Type, Ident, Text);
    else
        SystemEventSink(Type, Ident, Text);
}

void SetEventSink(TEventSink Sink_) { Sink() = std::move(Sink_); }

}  // namespace platform
