#include "pixel_memory.h"

#include <cstdlib>
#include <new>

namespace tallowin::codec {

namespace {

struct Lend {
    uint8_t* at = nullptr;
    size_t size = 0;
    bool taken = false;
};

thread_local Lend lend;

}  // namespace

namespace detail {

void* AllocatePixelBytes(size_t size) {
    if (lend.at != nullptr && !lend.taken && size >= LentPixelMemory::kLentAtLeast && size <= lend.size) {
        lend.taken = true;
        return lend.at;
    }
    return ::operator new(size);
}

void FreePixelBytes(void* at) {
    if (at != nullptr && at == lend.at) {
        lend.taken = false;
        return;
    }
    ::operator delete(at);
}

}  // namespace detail

LentPixelMemory::LentPixelMemory(uint8_t* at, size_t size) {
    lend = Lend{at, size, false};
}

LentPixelMemory::~LentPixelMemory() {
    // A raster left in the region would be handed to the heap when freed.
    if (lend.taken) std::abort();
    lend = Lend{};
}

bool LentPixelMemory::Holds(const PixelBytes& bytes) const {
    return lend.at != nullptr && bytes.data() == lend.at;
}

}  // namespace tallowin::codec
