// An entry whose installed file is already the offered one costs no download: the daily run
// of a site where nothing changed fetches the server INI and its signature, and nothing more.
#include "engine/zel_cust_update_dialog.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "trust/file_expectation.h"

using namespace platform;
using namespace trust;

bool TzelCustUpdaterDialogForm::InstalledCopyIsOffered(const serverini::TServerIniEntry& Entry,
                                                       const std::string& FileName) {
    const TFileExpectation offered = ExpectationOf(Entry);
    if (offered.Sha256.empty() || !FileExists(FileName)) return false;
    // The size first: most files that changed show it without a byte being hashed.
    if (offered.Size >= 0 && FileSize(FileName) != offered.Size) return false;
    try {
        return MismatchOf(FileName, FileName, offered).empty();
    } catch (const EUpdaterError&) {
        return false;  // unreadable: fetch it as if it were missing
    }
}
