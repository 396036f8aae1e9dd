#pragma once
// Which workstations take a release, and whether it may go down: FILE{n}ROLLOUT gives a
// release to the workstations whose bucket (0 to 99, drawn once, kept as ROLLOUTBUCKET in
// the local INI) is below it; FILE{n}DOWNGRADE=TRUE takes the offered file whenever it
// differs from the installed one, older or newer.
#include <string>

#include "platform/update_utils.h"
#include "server_ini/server_ini.h"

namespace engine {

struct TReleaseRules {
    int Rollout = 100;  // per cent of workstations
    bool Downgrade = false;
    std::string Sha256;  // the offered file's hash, lower case; empty: not given
};

// The entry's rules (the server INI's reading refuses a ROLLOUT that is not a whole number
// from 0 to 100: a release meant for a few must not reach all).
TReleaseRules ReleaseRulesOf(const serverini::TServerIniEntry& Entry);

// Whether the offered file replaces the installed one, before the rollout: a newer version;
// with DOWNGRADE, any other version, or (with a hash) any other content. InstalledFile is the
// path of the installed file.
bool OffersChange(const TReleaseRules& Rules, const TFileVerRec& Offered, const TFileVerRec& Installed,
                  const std::string& InstalledFile);

// ROLLOUTBUCKET as kept: 0 to 99, or -1 when it is missing or anything else.
int ParseRolloutBucket(const std::string& Text);

inline bool InRollout(int Bucket, int Rollout) { return Bucket < Rollout; }

}  // namespace engine
