#include "header_cache.h"

namespace tallowin::codec::sandbox {

HeaderCache::Key HeaderCache::KeyOf(const struct stat& file, const Decoder& format, const DecodeLimits& limits) {
    return Key{file.st_dev,           file.st_ino,          file.st_size,    file.st_mtim.tv_sec, file.st_mtim.tv_nsec,
               file.st_ctim.tv_sec,   file.st_ctim.tv_nsec, &format,         limits.maxSide,      limits.maxPixels,
               limits.maxWorkingBytes};
}

std::optional<ImageInfo> HeaderCache::Find(const std::string& path, const Decoder& format,
                                           const DecodeLimits& limits) {
    struct stat file {};
    if (stat(path.c_str(), &file) != 0) return std::nullopt;
    const Key key = KeyOf(file, format, limits);
    std::lock_guard lock(mutex_);
    const auto found = reads_.find(key);
    if (found == reads_.end()) return std::nullopt;
    return found->second;
}

void HeaderCache::Store(const struct stat& file, const Decoder& format, const DecodeLimits& limits,
                        const ImageInfo& info) {
    const Key key = KeyOf(file, format, limits);
    std::lock_guard lock(mutex_);
    if (!reads_.insert_or_assign(key, info).second) return;
    order_.push_back(key);
    if (order_.size() > kKeptAtMost) {
        reads_.erase(order_.front());
        order_.pop_front();
    }
}

}  // namespace tallowin::codec::sandbox
