#include "photo_status.h"

namespace tallowin {

const char* StatusLabel(PhotoStatus status)
{
    switch (status) {
        case PhotoStatus::Waiting: return "waiting";
        case PhotoStatus::Converting: return "converting";
        case PhotoStatus::Converted: return "converted";
        case PhotoStatus::ConvertedInPart: return "converted in part";
        case PhotoStatus::Failed: return "failed";
        case PhotoStatus::Skipped: return "skipped";
    }
    return "";
}

void PhotoStatusBoard::Set(uint64_t photoId, PhotoState state)
{
    const std::lock_guard lock(mutex_);
    states_[photoId] = std::move(state);
}

PhotoState PhotoStatusBoard::Get(uint64_t photoId) const
{
    const std::lock_guard lock(mutex_);
    const auto found = states_.find(photoId);
    return found == states_.end() ? PhotoState{} : found->second;
}

std::vector<uint64_t> PhotoStatusBoard::IdsWith(PhotoStatus status) const
{
    const std::lock_guard lock(mutex_);
    std::vector<uint64_t> ids;
    for (const auto& [id, state] : states_)
        if (state.status == status) ids.push_back(id);
    return ids;
}

void PhotoStatusBoard::Clear()
{
    const std::lock_guard lock(mutex_);
    states_.clear();
}

}  // namespace tallowin
