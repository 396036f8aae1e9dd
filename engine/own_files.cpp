#include "engine/own_files.h"

#include "engine/last_run.h"
#include "platform/folder_lock.h"
#include "server_ini/file_names.h"

namespace engine {

std::vector<std::string> OwnFileNames(const std::vector<std::string>& ProgNames, const std::string& LogName,
                                      const std::string& ExeName) {
    std::vector<std::string> own;
    for (const std::string& prog : ProgNames) own.push_back(prog + "_Local.ini");
    for (const std::string& prog : ProgNames) own.push_back(prog + kLastRunSuffix);
    const size_t ext = ExeName.rfind('.');
    own.insert(own.end(), {LogName, serverini::kTransferFile,
                           (ext == std::string::npos ? ExeName : ExeName.substr(0, ext)) + "Params.ini",
                           serverini::kKeptTransferFile, serverini::kResumeRecordFile, platform::kFolderLockFile});
    return own;
}

}  // namespace engine
