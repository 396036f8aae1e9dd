#include "engine/last_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/shown_text.h"
#include "platform/url_secrets.h"

using namespace platform;

namespace engine {

const char* OutcomeName(TRunOutcome Outcome) {
    switch (Outcome) {
    case TRunOutcome::UpToDate: return "UpToDate";
    case TRunOutcome::Updated: return "Updated";
    case TRunOutcome::UpdateError: return "UpdateError";
    case TRunOutcome::RunFailed: return "RunFailed";
    case TRunOutcome::Stopped: return "Stopped";
    case TRunOutcome::StartError: return "StartError";
    case TRunOutcome::AlreadyRunning: return "AlreadyRunning";
    }
    return "";
}

int ExitCodeFor(TRunOutcome Outcome, bool UploadFailed, bool ExitCodesAsked) {
    if (Outcome == TRunOutcome::StartError) return 1;
    if (!ExitCodesAsked) return 0;
    switch (Outcome) {
    case TRunOutcome::UpdateError: return 2;
    case TRunOutcome::RunFailed: return 3;
    case TRunOutcome::AlreadyRunning: return 5;
    default: return UploadFailed ? 4 : 0;
    }
}

TEventType EventTypeFor(TRunOutcome Outcome, bool UploadFailed) {
    switch (Outcome) {
    case TRunOutcome::UpdateError:
    case TRunOutcome::StartError: return TEventType::Error;
    case TRunOutcome::RunFailed:
    case TRunOutcome::AlreadyRunning: return TEventType::Warning;
    default: return UploadFailed ? TEventType::Warning : TEventType::Information;
    }
}

namespace {
// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}
long long SecondsOf(const std::tm& t) {
    return DaysFromCivil(t.tm_year + 1900LL, unsigned(t.tm_mon + 1), unsigned(t.tm_mday)) * 86400 + t.tm_hour * 3600LL +
           t.tm_min * 60LL + t.tm_sec;
}
}  // namespace

std::string IsoLocalTimeText(const TLocalDateTime& When) {
    // The offset is what the local fields say minus what UTC says of the same moment.
    std::tm local = When.Time;
    const std::time_t moment = std::mktime(&local);
    std::tm utc{};
    gmtime_r(&moment, &utc);
    const long long offset = SecondsOf(When.Time) - SecondsOf(utc);
    const long long a = std::llabs(offset) / 60;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02lld:%02lld", When.Time.tm_year + 1900,
                  When.Time.tm_mon + 1, When.Time.tm_mday, When.Time.tm_hour, When.Time.tm_min, When.Time.tm_sec,
                  offset < 0 ? '-' : '+', a / 60, a % 60);
    return buf;
}

namespace {
// No password of a URL in an error text reaches the record.
void Keep(std::optional<std::string>& Slot, const std::string& Text) {
    if (!Slot) Slot = platform::MaskUrlSecrets(Text);
}
}  // namespace

void TLastRun::NoteStartError(const std::string& Text) { Keep(FStartError, Text); }
void TLastRun::NoteUpdateError(const std::string& Text) { Keep(FUpdateError, Text); }
void TLastRun::NoteRunFailed(const std::string& Text) { Keep(FRunFailed, Text); }
void TLastRun::NoteAlreadyRunning(const std::string& Text) { Keep(FAlreadyRunning, Text); }

TLastRunEntry& TLastRun::Entry(int Number) {
    // The list is walked in order, so the numbers usually come ascending: then a binary search
    // finds one and a new one goes to the end at once; a scan for each would make a long
    // list's run quadratic.
    if (FAscending) {
        const auto at = std::lower_bound(FEntries.begin(), FEntries.end(), Number,
                                         [](const TLastRunEntry& e, int n) { return e.Number < n; });
        if (at != FEntries.end() && at->Number == Number) return *at;
        if (at != FEntries.end()) FAscending = false;
    } else {
        for (auto& e : FEntries)
            if (e.Number == Number) return e;
    }
    FEntries.push_back(TLastRunEntry{});
    FEntries.back().Number = Number;
    return FEntries.back();
}

void TLastRun::SetProductValue(const std::string& Key, const std::string& Value) {
    for (auto& kv : FProduct)
        if (kv.first == Key) {
            kv.second = Value;
            return;
        }
    FProduct.emplace_back(Key, Value);
}

void TLastRun::NoteUpload(TUploadState State, const std::string& Text) {
    FUpload = State;
    SetProductValue("Upload", State == TUploadState::Uploaded       ? "Uploaded"
                              : State == TUploadState::UploadFailed ? "UploadFailed"
                                                                    : "NotDue");
    SetProductValue("UploadError", MaskUrlSecrets(Text));
    FUploadError.reset();
    if (State == TUploadState::UploadFailed) FUploadError = MaskUrlSecrets(Text);
}

TRunOutcome TLastRun::Outcome() const {
    if (FAlreadyRunning) return TRunOutcome::AlreadyRunning;
    if (FStartError) return TRunOutcome::StartError;
    if (FUpdateError) return TRunOutcome::UpdateError;
    if (FRunFailed) return TRunOutcome::RunFailed;
    if (!FCompleted && FStopping) return TRunOutcome::Stopped;
    for (const auto& e : FEntries)
        if (e.Downloaded || e.Ran == "TRUE") return TRunOutcome::Updated;
    return TRunOutcome::UpToDate;
}

std::string TLastRun::Error() const {
    switch (Outcome()) {
    case TRunOutcome::AlreadyRunning: return *FAlreadyRunning;
    case TRunOutcome::StartError: return *FStartError;
    case TRunOutcome::UpdateError: return *FUpdateError;
    case TRunOutcome::RunFailed: return *FRunFailed;
    default: return FUploadError.value_or("");
    }
}

std::string TLastRun::IniText(int ExitCode) const {
    std::string out;
    // Every value on its one line: a server's name or version, an error quoting a reply.
    auto put = [&out](const std::string& Key, const std::string& Value) {
        out += Key + "=" + ShownText(Value) + "\r\n";
    };
    out += "[LastRun]\r\n";
    put("Started", FStarted);
    put("Ended", IsoLocalTimeText(LogClockNow()));
    put("Outcome", OutcomeName(Outcome()));
    put("Error", Error());
    put("ExitCode", std::to_string(ExitCode));
    for (const auto& e : FEntries) {
        out += "[FILE" + std::to_string(e.Number) + "]\r\n";
        put("Name", e.Name);
        put("Offered", e.Offered);
        put("InstalledBefore", e.InstalledBefore);
        put("Downloaded", e.Downloaded ? "TRUE" : "FALSE");
        put("Ran", e.Ran);
        if (e.Waited) put("ExitCode", std::to_string(e.ExitCode));
        if (!e.HeldBack.empty()) put("HeldBack", e.HeldBack);
    }
    if (!FProduct.empty()) {
        out += "[Product]\r\n";
        for (const auto& kv : FProduct) put(kv.first, kv.second);
    }
    return out;
}

}  // namespace engine
