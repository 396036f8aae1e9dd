#pragma once
// A temporary folder for one test, removed with everything in it at the end.
#include <string>

class TestFolder {
public:
    explicit TestFolder(const std::string& Prefix = "zel-test");
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // The folder's path with its trailing "/".
    const std::string& Path() const { return path_; }
    // Writes Bytes to Path() + Name (sub-folders are created) with the permission bits Mode.
    std::string Write(const std::string& Name, const std::string& Bytes, unsigned Mode = 0644) const;

private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& FileName);
