#include "tests/engine/engine_fixture.h"

#include <regex>

std::vector<std::string> EngineTest::LogTexts(const std::string& name) const {
    std::vector<std::string> out;
    const std::string log = dir.Read(name);
    // An entry begins with the date and time followed by ":  "; lines of a multi-line text
    // that follow it carry no stamp.
    static const std::regex stamp(R"(^\d\d/\d\d/\d\d( \d\d:\d\d:\d\d)?:  )");
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        std::smatch m;
        out.push_back(std::regex_search(line, m, stamp) ? line.substr(size_t(m.length(0))) : "|" + line);
        start = end + 2;
    }
    return out;
}
