#include "platform/scoped_value.h"
#include "platform/scope_exit.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace platform;

namespace {
TEST(ScopedValue, LendsTheValueAndPutsTheOldOneBackOnEveryWayOut) {
    std::string name = "own";
    {
        const ScopedValue<std::string> lent(name, "lent");
        EXPECT_EQ(name, "lent");
    }
    EXPECT_EQ(name, "own");

    int depth = 0;
    try {
        const ScopedValue<int> outer(depth, 1);
        const ScopedValue<int> inner(depth, 2);
        throw std::runtime_error("handler failed");
    } catch (const std::runtime_error&) {
        EXPECT_EQ(depth, 0) << "undone while the exception left the scope";
    }
    EXPECT_EQ(depth, 0);
}

TEST(ScopeExit, RunsItsActionOnceOnEveryWayOut) {
    int runs = 0;
    {
        const ScopeExit count([&runs] { ++runs; });
    }
    EXPECT_EQ(runs, 1) << "left normally";

    try {
        const ScopeExit count([&runs] { ++runs; });
        EXPECT_EQ(runs, 1) << "not before the scope ends";
        throw std::runtime_error("download failed");
    } catch (const std::runtime_error&) {
        EXPECT_EQ(runs, 2) << "run while the exception left the scope";
    }
}
}  // namespace
