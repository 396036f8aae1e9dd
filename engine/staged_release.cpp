#include "engine/staged_release.h"

#include "crypto/crypto.h"
#include "engine/file_names.h"
#include "engine/zel_cust_update_dialog.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"
#include "trust/file_expectation.h"
#include "ui/application.h"

using namespace platform;

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

TReleaseRules ReadReleaseRules(const TStringList& ServerIni, int N) {
    TReleaseRules r;
    const std::string rollout = Trim(ServerIni.Values(FileKey(N, "ROLLOUT")));
    if (!rollout.empty()) {
        r.Rollout = SmallNumber(rollout, 0, 100);
        if (r.Rollout < 0)
            throw EUpdaterError("Problem with configuration file.  " + FileKey(N, "ROLLOUT") + " \"" + rollout +
                                "\" is not a percentage from 0 to 100.");
    }
    r.Downgrade = ServerIni.Values(FileKey(N, "DOWNGRADE")) == "TRUE";
    if (r.Downgrade) r.Sha256 = trust::ReadFileExpectation(ServerIni, N).Sha256;
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
                                                   const std::string& FileName) {
    const TReleaseRules rules = ReadReleaseRules(*FServerIniList, FCurrentFileNumberOfInterest);
    if (!OffersChange(rules, ServerVersion, LocalVersion, ProgramFolder() + FileName)) return vcNotNewer;
    return HeldBackByRollout(FileName) ? vcNotNewer : vcDownload;
}

bool TzelCustUpdaterDialogForm::HeldBackByRollout(const std::string& FileName) {
    const TReleaseRules rules = ReadReleaseRules(*FServerIniList, FCurrentFileNumberOfInterest);
    if (rules.Rollout >= 100) return false;
    const int bucket = RolloutBucket();
    if (InRollout(bucket, rules.Rollout)) return false;
    ReportStatus(FileName + " is held back by the staged rollout: this release reaches " +
                     std::to_string(rules.Rollout) + " % of workstations, and this one is in bucket " +
                     std::to_string(bucket) + ".",
                 true, false, false);
    FLastRun.Entry(FCurrentFileNumberOfInterest).HeldBack =
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
