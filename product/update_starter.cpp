// The update starter check: where user account control is in force, the product is updated
// only through a starter of at least the minimum version. Otherwise the run fetches the
// starter's own configuration instead, and the user is told to update again.
#include "platform/file_utils.h"
#include "platform/update_utils.h"
#include "product/brinquet_express_update_dialog.h"
#include "ui/application.h"

using namespace platform;
using namespace product;
using namespace ui;

bool TzelBrinquetUpdaterDialogForm::CheckUpdateStarter() {
    if (FCheckedUpdateStarter) return FUpdateStarterOK;
    const std::string starter = ProgramFolder() + kUpdateStarterName;
    bool ok = FileExists(starter) && FileVersionAtLeast(starter, kUpdateStarterMinVersion);
    // The probe is asked only about a missing or older starter; its error leaves nothing cached.
    if (!ok) ok = !OSServices().IsUacEnabled();
    FUpdateStarterOK = ok;
    FCheckedUpdateStarter = true;
    return ok;
}

std::string TzelBrinquetUpdaterDialogForm::GetProgName() {
    return CheckUpdateStarter() ? FProgName : std::string(kUpdateStarterProgName);
}
