// Whether a listed name reaches one of the own files, asked again after the folder changed:
// what was learnt at one ask must not hide a change made before the next.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "platform/file_utils.h"
#include "tests/support/temp_dir.h"

using namespace platform;

namespace {
#ifndef _WIN32
TEST(SameFile, AChangeBetweenTwoAsksIsSeen) {
    namespace fs = std::filesystem;
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> before, change;
        bool first, second;  // whether listed.bin reaches own.ini at each ask
    } cases[] = {
        {"an own file replaced by a rename from the listed file's twin",
         [](const TempDir& d) {
             d.Write("own.ini", "state"), d.Write("next.ini", "new state");
             fs::create_hard_link(d.File("next.ini"), d.File("listed.bin"));
         },
         [](const TempDir& d) { fs::rename(d.File("next.ini"), d.File("own.ini")); }, false, true},
        {"an own file made after the first ask",
         [](const TempDir& d) { d.Write("listed.bin", "x"); },
         [](const TempDir& d) { fs::create_hard_link(d.File("listed.bin"), d.File("own.ini")); }, false, true},
        {"an own file removed",
         [](const TempDir& d) {
             d.Write("own.ini", "state");
             fs::create_hard_link(d.File("own.ini"), d.File("listed.bin"));
         },
         [](const TempDir& d) { fs::remove(d.File("own.ini")); }, true, false},
        {"an own file that is a link, its target replaced in another folder",
         [](const TempDir& d) {
             d.Write("sub/target", "state"), d.Write("sub/next", "new state");
             fs::create_symlink("sub/target", d.File("own.ini"));
             fs::create_hard_link(d.File("sub/next"), d.File("listed.bin"));
         },
         [](const TempDir& d) { fs::rename(d.File("sub/next"), d.File("sub/target")); }, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        c.before(dir);
        const std::vector<std::string> own = {dir.File("own.ini"), dir.File("other.ini")};
        EXPECT_EQ(IsSameFileAsAny(dir.File("listed.bin"), own), c.first);
        EXPECT_EQ(IsSameFileAsAny(dir.File("listed.bin"), own), c.first) << "asked again unchanged";
        c.change(dir);
        EXPECT_EQ(IsSameFileAsAny(dir.File("listed.bin"), own), c.second);
    }
}
#endif
}  // namespace
