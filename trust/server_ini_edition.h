#pragma once
// What a signed server INI says about itself: which edition it is (SERIAL), until when it
// may be used (EXPIRES), which channel it serves (CHANNEL), and which key the publisher
// moves to (NEWPUBLICKEY). A workstation that trusts a publisher's key refuses an edition
// older than the newest it took, one that has expired, and one of another channel.
#include <cstdint>
#include <string>

#include "platform/string_list.h"

namespace trust {

struct TServerIniEdition {
    int64_t Serial = -1;   // -1: not given
    int64_t Expires = -1;  // seconds since 1970-01-01T00:00:00Z; -1: not given
    std::string ExpiresText;
    std::string Channel;       // empty: the default channel
    std::string NewPublicKey;  // empty: the key stays
};

// SERIAL, EXPIRES, CHANNEL and NEWPUBLICKEY, blanks around them ignored. A value given but
// malformed raises ETrustError naming Url: a broken promise must not read as no promise.
TServerIniEdition ReadServerIniEdition(const platform::TStringList& ServerIni, const std::string& Url);

// Raises ETrustError, naming Url, when Edition may not be used on a workstation that keeps
// KeptSerial (-1: none yet) and follows LocalChannel, at Now (seconds since 1970, UTC).
void CheckServerIniEdition(const TServerIniEdition& Edition, const std::string& Url, int64_t KeptSerial,
                           const std::string& LocalChannel, int64_t Now);

// A positive decimal integer of at most 18 digits; -1 for anything else.
int64_t ParseSerial(const std::string& Text);
// "2027-01-31T00:00:00Z" as seconds since 1970; -1 when Text is not such a UTC time.
int64_t ParseUtcTime(const std::string& Text);
std::string FormatUtcTime(int64_t Seconds);
// The current time as seconds since 1970, UTC.
int64_t UtcNow();

}  // namespace trust
