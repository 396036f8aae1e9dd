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

namespace {
// Where Number stands in a vector kept ascending, or would go.
template <class T, class Key>
auto Place(std::vector<T>& V, int Number, Key NumberOf) {
    return std::lower_bound(V.begin(), V.end(), Number, [&](const T& e, int n) { return NumberOf(e) < n; });
}
}  // namespace

TLastRunEntry& TLastRun::Entry(int Number) {
    if (!FEntries.empty() && FEntries.back().Number == Number) return FEntries.back();
    // The run moves on: the entry it leaves is listed only when the run acted on it.
    if (!FEntries.empty() && !FEntries.back().ActedOn()) {
        if (!FUnchanged.empty() && FUnchanged.back() > FEntries.back().Number) FUnchangedAscending = false;
        FUnchanged.push_back(FEntries.back().Number);
        FEntries.pop_back();
    }
    // The list is walked in order, so the numbers usually come ascending: then a binary search
    // finds one and a new one goes to the end at once; a scan for each would make a long
    // list's run quadratic.
    const auto number = [](const TLastRunEntry& e) { return e.Number; };
    if (FAscending) {
        const auto at = Place(FEntries, Number, number);
        if (at != FEntries.end() && at->Number == Number) return *at;
        if (at != FEntries.end()) FAscending = false;
    } else {
        for (auto& e : FEntries)
            if (e.Number == Number) return e;
    }
    // An entry left alone and asked for again is compared again, and counted once.
    const auto same = [](int n) { return n; };
    const auto left = FUnchangedAscending ? Place(FUnchanged, Number, same)
                                          : std::find(FUnchanged.begin(), FUnchanged.end(), Number);
    if (left != FUnchanged.end() && *left == Number) FUnchanged.erase(left);
    FEntries.push_back(TLastRunEntry{});
    FEntries.back().Number = Number;
    return FEntries.back();
}

bool TLastRun::CurrentIsUnlisted() const {
    if (FEntries.empty() || FEntries.back().ActedOn()) return false;
    const TRunOutcome o = Outcome();
    return o != TRunOutcome::UpdateError && o != TRunOutcome::Stopped;
}

std::vector<TLastRunEntry> TLastRun::Entries() const {
    std::vector<TLastRunEntry> listed(FEntries.begin(), FEntries.end() - (CurrentIsUnlisted() ? 1 : 0));
    return listed;
}

size_t TLastRun::Unchanged() const { return FUnchanged.size() + (CurrentIsUnlisted() ? 1 : 0); }

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
    put("Compared", std::to_string(Compared()));
    put("Unchanged", std::to_string(Unchanged()));
    const size_t listed = FEntries.size() - (CurrentIsUnlisted() ? 1 : 0);
    for (size_t i = 0; i < listed; ++i) {
        const TLastRunEntry& e = FEntries[i];
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
