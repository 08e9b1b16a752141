#pragma once
// Admission of photos that convert at the same time against one memory budget. Each
// photo reserves what its pixels may cost before it starts and gives it back when it
// ends; a photo that needs more than the whole budget waits until nothing else runs and
// then runs alone, so parallel workers never multiply the peak of two large photos.

#include "photo_record.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tallowin {

class MemoryBudget {
public:
    explicit MemoryBudget(uint64_t bytes) : capacity_(bytes) {}

    // What converting the photo may hold at once: the decoded source (at most its full
    // size, 4 bytes a pixel) and the output bitmap (4 bytes a pixel).
    static uint64_t CostOf(const PhotoRecord& photo);

    // A quarter of the machine's memory, at least 512 MiB.
    static uint64_t DefaultBytes();

    // Blocks until `bytes` fit beside what others hold, or until nothing else is held.
    void Acquire(uint64_t bytes);
    void Release(uint64_t bytes);

    uint64_t Capacity() const { return capacity_; }

private:
    const uint64_t capacity_;
    std::mutex mutex_;
    std::condition_variable freed_;
    uint64_t held_ = 0;
    int holders_ = 0;
};

// Holds one photo's reservation for as long as it lives.
class BudgetReservation {
public:
    BudgetReservation(MemoryBudget& budget, uint64_t bytes) : budget_(budget), bytes_(bytes) { budget_.Acquire(bytes_); }
    ~BudgetReservation() { budget_.Release(bytes_); }
    BudgetReservation(const BudgetReservation&) = delete;
    BudgetReservation& operator=(const BudgetReservation&) = delete;

private:
    MemoryBudget& budget_;
    const uint64_t bytes_;
};

}  // namespace tallowin
