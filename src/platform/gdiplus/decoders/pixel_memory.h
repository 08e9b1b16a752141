#pragma once
// Where a raster's bytes live: in the heap, unless the thread decoding has lent a
// region for them. A decoder helper lends its pixel window, which the program copies
// the picture out of, so that the decode writes the pixels there directly instead of
// into the heap and then again into the window.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tallowin::codec {

namespace detail {
void* AllocatePixelBytes(size_t size);
void FreePixelBytes(void* at);
}  // namespace detail

// The allocator of raster bytes. Stateless: any two are equal, so rasters move and
// swap as with the standard allocator.
template <typename T>
struct PixelAllocator {
    using value_type = T;
    PixelAllocator() = default;
    template <typename U>
    PixelAllocator(const PixelAllocator<U>&) {}
    T* allocate(size_t count) { return static_cast<T*>(detail::AllocatePixelBytes(count * sizeof(T))); }
    void deallocate(T* at, size_t) { detail::FreePixelBytes(at); }
    friend bool operator==(const PixelAllocator&, const PixelAllocator&) { return true; }
    friend bool operator!=(const PixelAllocator&, const PixelAllocator&) { return false; }
};

using PixelBytes = std::vector<uint8_t, PixelAllocator<uint8_t>>;

// Lends `size` bytes at `at`, for as long as it lives, to the first raster allocated
// on this thread that is at least kLentAtLeast and at most `size` bytes; later ones
// go to the heap as before. Freeing that raster gives the region back to the lend.
// Every raster in the region must be freed before the lend ends.
class LentPixelMemory {
public:
    static constexpr size_t kLentAtLeast = size_t{64} << 10;  // smaller pictures cost little to copy

    LentPixelMemory(uint8_t* at, size_t size);
    ~LentPixelMemory();
    LentPixelMemory(const LentPixelMemory&) = delete;
    LentPixelMemory& operator=(const LentPixelMemory&) = delete;

    // Whether `bytes` begin at the lent region.
    bool Holds(const PixelBytes& bytes) const;
};

}  // namespace tallowin::codec
