// The file stream keeps its own position and size; after every step they must be the file's.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "http/stream.h"
#include "tests/support/temp_dir.h"

using namespace http;

namespace {
TEST(FileStream, PositionAndSizeMatchTheFileAfterEveryStep) {
    TempDir dir;
    const std::string name = dir.File("f.bin");
    TFileStream s(name, TFileMode::CreateWrite);
    char buf[8];
    const struct {
        const char* step;
        std::function<void()> action;
        int64_t position, size;
    } steps[] = {
        {"write 5", [&] { s.Write("hello"); }, 5, 5},
        {"back to 1 and overwrite 2", [&] { s.SetPosition(1), s.Write("EL"); }, 3, 5},
        {"read 8 from 3", [&] { EXPECT_EQ(s.Read(buf, 8), 2u); }, 5, 5},
        {"grow to 9", [&] { s.SetSize(9); }, 5, 9},
        {"shrink to 2 below the position", [&] { s.SetSize(2); }, 2, 2},
        {"append at the end", [&] { s.SetPosition(s.GetSize()), s.Write("xyz"); }, 5, 5},
    };
    for (const auto& st : steps) {
        SCOPED_TRACE(st.step);
        st.action();
        EXPECT_EQ(s.GetPosition(), st.position);
        EXPECT_EQ(s.GetSize(), st.size);
        EXPECT_EQ(int64_t(std::filesystem::file_size(name)), st.size);
    }
    EXPECT_EQ(dir.Read("f.bin"), std::string("hExyz"));
    TFileStream r(name, TFileMode::OpenRead);
    EXPECT_EQ(r.GetSize(), 5) << "an existing file opened for reading";
}
}  // namespace
