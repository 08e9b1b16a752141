// The child process that runs libjxr: its result comes back, its faults and hangs end
// only itself, and what it prints never reaches the program's own streams.
#include "isolated_call.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cassert>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace tallowin::wdp {
namespace {

using namespace std::chrono_literals;

class IsolatedCallTest : public tallowin::test::TestWorld {
protected:
    // Runs `work` with this process's standard error going to a file, and returns what
    // landed there.
    template <typename Work>
    std::string CapturedStderr(Work work) {
        const std::string path = Path("stderr.txt").string();
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        EXPECT_GE(file, 0);
        ::dup2(file, STDERR_FILENO);
        ::close(file);
        work();
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        return tallowin::test::ReadFile(path);
    }
};

TEST_F(IsolatedCallTest, OutcomesOfTheChild) {
    EXPECT_TRUE(RunIsolated([] { return true; }, 10s));
    EXPECT_FALSE(RunIsolated([] { return false; }, 10s));
    EXPECT_FALSE(RunIsolated([]() -> bool { throw 1; }, 10s));
    EXPECT_FALSE(RunIsolated([]() -> bool { std::abort(); }, 10s));
    EXPECT_FALSE(RunIsolated([] {
        std::this_thread::sleep_for(60s);
        return true;
    }, 200ms));
}

TEST_F(IsolatedCallTest, WhatTheChildPrintsIsDiscarded) {
    const std::string printed = CapturedStderr([] {
        EXPECT_FALSE(RunIsolated([]() -> bool {
            std::fprintf(stderr, "decoder assertion text\n");
            std::fflush(stderr);
            ::write(STDERR_FILENO, "raw write\n", 10);
            std::printf("on standard output\n");
            std::fflush(stdout);
            std::abort();
        }, 10s));
    });
    EXPECT_EQ(printed, "");

    // The parent's own stream still works afterwards.
    const std::string own = CapturedStderr([] { std::fprintf(stderr, "parent\n"); });
    EXPECT_EQ(own, "parent\n");
}

}  // namespace
}  // namespace tallowin::wdp
