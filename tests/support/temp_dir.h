#pragma once
// A fresh folder under /tmp for one test, removed with everything in it afterwards.
#include <string>

class TempDir {
public:
    explicit TempDir(const std::string& Prefix = "zeltest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }  // ends in "/"
    std::string File(const std::string& name) const { return path_ + name; }
    // Writes bytes to Path() + name (sub-folders are made) with the permission bits mode;
    // returns the file's full path.
    std::string Write(const std::string& name, const std::string& bytes, unsigned mode = 0644) const;
    std::string Read(const std::string& name) const;  // empty when missing
    bool Exists(const std::string& name) const;

private:
    std::string path_;
};

// The whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& FileName);
