#pragma once
// An update web server for a test: nginx on loopback serving a folder the test fills.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "tests/support/real_peers.h"
#include "tests/support/temp_dir.h"

class UpdateSite {
public:
    UpdateSite() : nginx_(std::make_unique<NginxServer>(root_.Path())) {
        EXPECT_TRUE(nginx_->Started()) << nginx_->Error();
    }
    // Serves Bytes at Path; empty Bytes: nothing there (404).
    void Put(const std::string& Path, const std::string& Bytes) {
        const std::string file = root_.File(Path.substr(1));
        if (Bytes.empty())
            std::filesystem::remove(file);
        else
            root_.Write(Path.substr(1), Bytes);
    }
    std::string Url(const std::string& Path) const { return nginx_->Url(Path); }

private:
    TempDir root_;
    std::unique_ptr<NginxServer> nginx_;
};
