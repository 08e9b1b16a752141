// Photos admitted against one memory budget: small ones share it, one larger than the
// whole budget runs alone, and nothing waits forever.
#include "convert/memory_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tallowin {
namespace {

using namespace std::chrono_literals;

TEST(MemoryBudget, SmallPhotosShareTheBudgetAndALargeOneRunsAlone) {
    MemoryBudget budget(100);
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<bool> largeSawOthers{false};
    auto work = [&](uint64_t bytes, bool large) {
        const BudgetReservation reservation(budget, bytes);
        const int now = ++running;
        int seen = mostAtOnce.load();
        while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
        }
        if (large && now != 1) largeSawOthers = true;
        std::this_thread::sleep_for(20ms);
        --running;
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back(work, 30, false);  // three fit at once
    threads.emplace_back(work, 250, true);                               // more than the whole budget
    for (int i = 0; i < 4; ++i) threads.emplace_back(work, 30, false);
    for (std::thread& t : threads) t.join();
    EXPECT_LE(mostAtOnce.load(), 3);
    EXPECT_FALSE(largeSawOthers.load());
}

TEST(MemoryBudget, CostCountsTheSourceAndTheOutputAtFourBytesAPixel) {
    PhotoRecord photo;
    photo.width = 20000;
    photo.height = 20000;
    photo.settings.nOutputWidth = 1024;
    photo.settings.nOutputHeight = 768;
    EXPECT_EQ(MemoryBudget::CostOf(photo), 4ull * (20000ull * 20000 + 1024 * 768));
    photo.width = -5;  // an unmeasured photo costs only its output
    EXPECT_EQ(MemoryBudget::CostOf(photo), 4ull * 1024 * 768);
    EXPECT_GE(MemoryBudget::DefaultBytes(), 512ull << 20);
}

}  // namespace
}  // namespace tallowin
