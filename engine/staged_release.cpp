#include "engine/staged_release.h"

#include "crypto/crypto.h"
#include "engine/zel_cust_update_dialog.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"
#include "ui/application.h"

using namespace platform;
using namespace serverini;

namespace engine {

namespace {
// A whole number from Lo to Hi written in decimal digits alone; -1 otherwise.
int SmallNumber(const std::string& Text, int Lo, int Hi) {
    if (Text.empty() || Text.size() > 3) return -1;
    int v = 0;
    for (char c : Text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v >= Lo && v <= Hi ? v : -1;
}
}  // namespace

TReleaseRules ReleaseRulesOf(const serverini::TServerIniEntry& Entry) {
    TReleaseRules r;
    r.Rollout = Entry.Rollout;
    r.Downgrade = Entry.Downgrade;
    if (r.Downgrade) r.Sha256 = Entry.Sha256;
    return r;
}

bool OffersChange(const TReleaseRules& Rules, const TFileVerRec& Offered, const TFileVerRec& Installed,
                  const std::string& InstalledFile) {
    if (!Rules.Downgrade) return IsVersionNewer(Offered, Installed);
    // A file without a version resource can only be told apart by its bytes.
    if (!Rules.Sha256.empty())
        return !FileExists(InstalledFile) || crypto::ToHex(crypto::Sha256OfFile(InstalledFile)) != Rules.Sha256;
    return IsVersionNewer(Offered, Installed) || IsVersionNewer(Installed, Offered);
}

int ParseRolloutBucket(const std::string& Text) { return SmallNumber(Trim(Text), 0, 99); }

}  // namespace engine

using namespace engine;
using namespace ui;

int TzelCustUpdaterDialogForm::CompareFileVersions(TFileVerRec ServerVersion, TFileVerRec LocalVersion,
                                                   const std::string& FileName, const TServerIniEntry& Entry) {
    if (!OffersChange(ReleaseRulesOf(Entry), ServerVersion, LocalVersion, ProgramFolder() + FileName)) return vcNotNewer;
    return HeldBackByRollout(Entry, FileName) ? vcNotNewer : vcDownload;
}

bool TzelCustUpdaterDialogForm::HeldBackByRollout(const TServerIniEntry& Entry, const std::string& FileName) {
    const TReleaseRules rules = ReleaseRulesOf(Entry);
    if (rules.Rollout >= 100) return false;
    const int bucket = RolloutBucket();
    if (InRollout(bucket, rules.Rollout)) return false;
    ReportStatus(FileName + " is held back by the staged rollout: this release reaches " +
                     std::to_string(rules.Rollout) + " % of workstations, and this one is in bucket " +
                     std::to_string(bucket) + ".",
                 true, false, false);
    FLastRun.Entry(Entry.Number).HeldBack =
        "staged rollout: " + std::to_string(rules.Rollout) + " %, bucket " + std::to_string(bucket);
    return true;
}

int TzelCustUpdaterDialogForm::RolloutBucket() {
    const int kept = ParseRolloutBucket(FLocalIniList->Values("ROLLOUTBUCKET"));
    if (kept >= 0) return kept;
    const int drawn = std::uniform_int_distribution<int>(0, 99)(FRandom);
    SetLocalIniValue("ROLLOUTBUCKET", std::to_string(drawn));
    SaveLocalIniFile();  // drawn once: a failed run must not draw again
    WriteLog(FzelLogFileName, "This workstation's staged rollout bucket is " + std::to_string(drawn) + ".");
    return drawn;
}
