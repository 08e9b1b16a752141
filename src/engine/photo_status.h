#pragma once
// Where each photo of the window's list stands in the current or last run, for the
// list's status column. The worker writes, the window's thread reads: the board is
// safe to use from both.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tallowin {

enum class PhotoStatus { Waiting, Converting, Converted, ConvertedInPart, Failed, Skipped };

// The status column's text: "waiting", "converting", "converted", "converted in part",
// "failed", "skipped".
const char* StatusLabel(PhotoStatus status);

struct PhotoState {
    PhotoStatus status = PhotoStatus::Waiting;
    std::string reason;  // why a photo failed, was skipped or converted only in part; the tooltip

    bool operator==(const PhotoState&) const = default;
};

// Photos are named by their id (PhotoRecord::id), which stays with a photo while the
// list is sorted or edited during a run.
class PhotoStatusBoard {
public:
    void Set(uint64_t photoId, PhotoState state);
    // Waiting for a photo that has no entry.
    PhotoState Get(uint64_t photoId) const;
    // The photos whose entry has this status.
    std::vector<uint64_t> IdsWith(PhotoStatus status) const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::map<uint64_t, PhotoState> states_;
};

}  // namespace tallowin
