#pragma once
// Helpers shared by the Windows test programs.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/file_utils.h"

// A fresh folder under the system's temporary folder, removed with its files afterwards
// (one level deep is all the tests make).
class TWinTempDir {
public:
    TWinTempDir() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = base + std::wstring(L"zelwin") + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(counter_++) + L"\\";
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TWinTempDir() { Remove(path_); }
    TWinTempDir(const TWinTempDir&) = delete;
    TWinTempDir& operator=(const TWinTempDir&) = delete;
    std::wstring WPath() const { return path_; }
    static void Remove(const std::wstring& dir) {
        WIN32_FIND_DATAW f;
        HANDLE h = FindFirstFileW((dir + L"*").c_str(), &f);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = f.cFileName;
                if (name == L"." || name == L"..") continue;
                if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(dir + name + L"\\");
                else
                    DeleteFileW((dir + name).c_str());
            } while (FindNextFileW(h, &f));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }

private:
    std::wstring path_;
    static inline int counter_ = 0;
};

// Waits up to Ms for a file to appear.
inline bool WaitForFile(const std::string& FileName, int Ms) {
    for (int waited = 0; waited < Ms; waited += 50) {
        if (platform::FileExists(FileName)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return platform::FileExists(FileName);
}

// An environment variable the Linux-side runner set; empty when missing.
inline std::string Env(const char* Name) {
    const char* v = std::getenv(Name);
    return v ? v : "";
}
