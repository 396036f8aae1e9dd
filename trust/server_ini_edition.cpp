#include "trust/server_ini_edition.h"

#include <chrono>
#include <cstdio>

#include "platform/strconv.h"
#include "trust/server_ini_signature.h"

using namespace platform;

namespace trust {

namespace {
// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool Digits(const std::string& s, size_t at, size_t n, int& out) {
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

std::string Unblanked(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}
}  // namespace

int64_t ParseSerial(const std::string& Text) {
    if (Text.empty() || Text.size() > 18) return -1;
    int64_t v = 0;
    for (char c : Text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v > 0 ? v : -1;
}

int64_t ParseUtcTime(const std::string& Text) {
    // Exactly YYYY-MM-DDTHH:MM:SSZ: a time in another zone, or none, would be read wrongly somewhere.
    if (Text.size() != 20 || Text[4] != '-' || Text[7] != '-' || Text[10] != 'T' || Text[13] != ':' ||
        Text[16] != ':' || Text[19] != 'Z')
        return -1;
    int y, mo, d, h, mi, s;
    if (!Digits(Text, 0, 4, y) || !Digits(Text, 5, 2, mo) || !Digits(Text, 8, 2, d) || !Digits(Text, 11, 2, h) ||
        !Digits(Text, 14, 2, mi) || !Digits(Text, 17, 2, s))
        return -1;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap) || h > 23 ||
        mi > 59 || s > 59)
        return -1;
    return DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

std::string FormatUtcTime(int64_t Seconds) {
    const int64_t z = Seconds / 86400 + 719468, secs = Seconds % 86400;
    const int64_t era = z / 146097, doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1), m = int(mp < 10 ? mp + 3 : mp - 9);
    const int64_t y = yoe + era * 400 + (m <= 2);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02d-%02dT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                  int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
    return buf;
}

int64_t UtcNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TServerIniEdition ReadServerIniEdition(const TStringList& ServerIni, const std::string& Url) {
    TServerIniEdition e;
    const auto refuse = [&](const std::string& key, const std::string& value, const char* want) {
        throw ETrustError("The server INI at " + Url + " gives " + key + " \"" + value + "\", which is not " + want +
                          "; the server INI is not used.");
    };
    const std::string serial = Unblanked(ServerIni.Values("SERIAL"));
    if (!serial.empty()) {
        e.Serial = ParseSerial(serial);
        if (e.Serial < 0) refuse("SERIAL", serial, "a positive whole number");
    }
    e.ExpiresText = Unblanked(ServerIni.Values("EXPIRES"));
    if (!e.ExpiresText.empty()) {
        e.Expires = ParseUtcTime(e.ExpiresText);
        if (e.Expires < 0) refuse("EXPIRES", e.ExpiresText, "a UTC time such as 2027-01-31T00:00:00Z");
    }
    e.Channel = Unblanked(ServerIni.Values("CHANNEL"));
    e.NewPublicKey = Unblanked(ServerIni.Values("NEWPUBLICKEY"));
    return e;
}

void CheckServerIniEdition(const TServerIniEdition& Edition, const std::string& Url, int64_t KeptSerial,
                           const std::string& LocalChannel, int64_t Now) {
    const std::string notUsed = "; the server INI is not used.";
    if (KeptSerial > 0 && Edition.Serial < 0)
        throw ETrustError("The server INI at " + Url + " carries no SERIAL, and this workstation has already taken " +
                          "SERIAL " + std::to_string(KeptSerial) + ": it is an old edition" + notUsed);
    if (Edition.Serial >= 0 && Edition.Serial < KeptSerial)
        throw ETrustError("The server INI at " + Url + " is SERIAL " + std::to_string(Edition.Serial) +
                          ", older than SERIAL " + std::to_string(KeptSerial) +
                          " that this workstation has already taken: it is an old edition, replayed or left behind" +
                          notUsed);
    if (Edition.Expires >= 0 && Edition.Expires <= Now)
        throw ETrustError("The server INI at " + Url + " has expired: it was valid until " + Edition.ExpiresText +
                          ". The update site is frozen, or an old edition is being replayed" + notUsed);
    if (!SameText(Edition.Channel, Unblanked(LocalChannel))) {
        const auto name = [](const std::string& c) {
            return c.empty() ? std::string("the default channel") : "the channel \"" + c + "\"";
        };
        throw ETrustError("The server INI at " + Url + " is for " + name(Edition.Channel) +
                          ", and this workstation follows " + name(Unblanked(LocalChannel)) + notUsed);
    }
}

}  // namespace trust
