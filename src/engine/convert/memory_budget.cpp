#include "memory_budget.h"

#include <unistd.h>

#include <algorithm>

namespace tallowin {

namespace {

constexpr uint64_t kMinimumBudget = 512ull << 20;
constexpr uint64_t kBytesPerPixel = 4;

uint64_t Pixels(int64_t width, int64_t height) {
    return width > 0 && height > 0 ? static_cast<uint64_t>(width) * static_cast<uint64_t>(height) : 0;
}

}  // namespace

uint64_t MemoryBudget::CostOf(const PhotoRecord& photo) {
    // Both sides are at most the codec's cap of one million pixels, so neither product
    // nor the sum can overflow 64 bits.
    return kBytesPerPixel * (Pixels(photo.width, photo.height) +
                             Pixels(photo.settings.nOutputWidth, photo.settings.nOutputHeight));
}

uint64_t MemoryBudget::DefaultBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return kMinimumBudget;
    return std::max(kMinimumBudget, static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 4);
}

void MemoryBudget::Acquire(uint64_t bytes) {
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [&] { return holders_ == 0 || held_ + bytes <= capacity_; });
    held_ += bytes;
    ++holders_;
}

void MemoryBudget::Release(uint64_t bytes) {
    {
        const std::lock_guard lock(mutex_);
        held_ -= std::min(held_, bytes);
        --holders_;
    }
    freed_.notify_all();
}

}  // namespace tallowin
