#include "tests/support/temp_dir.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir(const std::string& Prefix) {
    std::string pattern = "/tmp/" + Prefix + ".XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes, unsigned mode) const {
    const std::string file = path_ + name;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + file);
    }
    ::chmod(file.c_str(), mode);
    return file;
}

std::string TempDir::Read(const std::string& name) const { return ReadWholeFile(path_ + name); }

std::string ReadWholeFile(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool TempDir::Exists(const std::string& name) const { return std::filesystem::exists(path_ + name); }
