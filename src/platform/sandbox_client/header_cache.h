#pragma once
// Header reads answered before, by the identity of the file read: a photo's header is
// read when it is added and again when it is opened, and each read through a helper
// costs a round trip between two processes. A file is the same while its device,
// inode, size and change and modification times are; any write changes the times.

#include "decoder.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

namespace tallowin::codec::sandbox {

class HeaderCache {
public:
    // The header read of the file now at `path` with `format` under `limits`, when one
    // was stored for the same file.
    std::optional<ImageInfo> Find(const std::string& path, const Decoder& format, const DecodeLimits& limits);
    // Stores a successful read of the file whose identity is `file`.
    void Store(const struct stat& file, const Decoder& format, const DecodeLimits& limits, const ImageInfo& info);

private:
    using Key = std::tuple<dev_t, ino_t, off_t, time_t, long, time_t, long, const Decoder*, int64_t, int64_t, uint64_t>;
    static Key KeyOf(const struct stat& file, const Decoder& format, const DecodeLimits& limits);
    // A list of thousands of photos is read twice over; older entries go first.
    static constexpr size_t kKeptAtMost = 8192;

    std::mutex mutex_;
    std::map<Key, ImageInfo> reads_;
    std::deque<Key> order_;  // oldest first
};

}  // namespace tallowin::codec::sandbox
