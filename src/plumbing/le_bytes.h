#pragma once
// Little-endian fields of file formats, read from and written to byte buffers. The
// caller has checked that the bytes are there.

#include <cstddef>
#include <cstdint>

namespace tallowin::plumbing {

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline int32_t LeS32(const uint8_t* p) { return static_cast<int32_t>(Le32(p)); }

inline void PutLe16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

inline void PutLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes, written so
// that no addition can wrap around.
inline bool InBounds(size_t size, uint64_t offset, uint64_t length) {
    return offset <= size && length <= size - offset;
}

}  // namespace tallowin::plumbing
