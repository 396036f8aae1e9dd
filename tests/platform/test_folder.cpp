#include "tests/platform/test_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TestFolder::TestFolder(const std::string& Prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
}

TestFolder::~TestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TestFolder::Write(const std::string& Name, const std::string& Bytes, unsigned Mode) const {
    const std::string file = path_ + Name;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(Bytes.data(), std::streamsize(Bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + file);
    }
    ::chmod(file.c_str(), Mode);
    return file;
}

std::string ReadWholeFile(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
