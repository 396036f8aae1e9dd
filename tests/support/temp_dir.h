#pragma once
// A fresh folder under /tmp for one test, removed with everything in it afterwards.
#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }  // ends in "/"
    std::string File(const std::string& name) const { return path_ + name; }
    void Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const;  // empty when missing
    bool Exists(const std::string& name) const;

private:
    std::string path_;
};
