#pragma once
// The files in the program folder that hold the updater's own state, which no listed entry
// may name. The executable is not among them: a publisher may update the updater itself.
#include <string>
#include <vector>

namespace engine {

// ProgNames: the program names the state files are kept under (the form's and its
// GetProgName's, which a product may change); LogName: the log's file name; ExeName: the
// executable's file name, whose params file is among them.
std::vector<std::string> OwnFileNames(const std::vector<std::string>& ProgNames, const std::string& LogName,
                                      const std::string& ExeName);

}  // namespace engine
