#include "app/self_update.h"

#include "server_ini/file_names.h"
#include "platform/file_utils.h"
#include "ui/application.h"

namespace app {

void RemoveMovedAsideCopy() { platform::DeleteFileIfExists(ui::Application().ExeName + serverini::kMovedAsideSuffix); }

}  // namespace app
