#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

TempDir::TempDir() {
    char tmpl[] = "/tmp/zeltest.XXXXXX";
    path_ = std::string(::mkdtemp(tmpl)) + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(path_ + name).parent_path());
    std::ofstream(path_ + name, std::ios::binary) << bytes;
}

std::string TempDir::Read(const std::string& name) const {
    std::ifstream in(path_ + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool TempDir::Exists(const std::string& name) const { return std::filesystem::exists(path_ + name); }
