#include "ordered_run.h"

#include "window_conversion_host.h"

#include <map>

namespace tallowin {

PhotoOrder::PhotoOrder(size_t count, Events events) : events_(std::move(events)), ended_(count) {}

void PhotoOrder::WaitForRoom(size_t workers, size_t lookahead)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return converting_ < workers && started_ - handedOver_ < lookahead; });
}

void PhotoOrder::Start(size_t index)
{
    {
        const std::lock_guard lock(mutex_);
        started_ = index + 1;
        ++converting_;
        if (events_.started) {
            events_.started(index);
        }
        StepIfDue();
        queue_.push_back(index);
    }
    changed_.notify_all();
}

void PhotoOrder::CloseQueue()
{
    {
        const std::lock_guard lock(mutex_);
        queueClosed_ = true;
    }
    changed_.notify_all();
}

std::optional<size_t> PhotoOrder::NextToConvert()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !queue_.empty() || queueClosed_; });
    if (queue_.empty()) {
        return std::nullopt;
    }
    const size_t index = queue_.front();
    queue_.pop_front();
    return index;
}

void PhotoOrder::Ended(size_t index, EndedPhoto ended)
{
    {
        const std::lock_guard lock(mutex_);
        ended_[index] = std::move(ended);
        --converting_;
        HandOverReady();
    }
    changed_.notify_all();
}

void PhotoOrder::StepIfDue()
{
    while (stepped_ <= handedOver_ && stepped_ < started_) {
        if (events_.step) {
            events_.step(stepped_);
        }
        ++stepped_;
    }
}

void PhotoOrder::HandOverReady()
{
    for (;;) {
        StepIfDue();
        if (handedOver_ >= ended_.size() || !ended_[handedOver_]) {
            return;
        }
        if (events_.handOver) {
            events_.handOver(handedOver_, *ended_[handedOver_]);
        }
        ended_[handedOver_].reset();
        ++handedOver_;
    }
}

bool PhotoOrder::HasTurn(size_t index) const
{
    const std::lock_guard lock(mutex_);
    return handedOver_ >= index;
}

void PhotoOrder::WaitTurn(size_t index)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return handedOver_ >= index; });
}

void PhotoOrder::WaitHandedOver(size_t index)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return handedOver_ > index; });
}

size_t PhotoOrder::StartedCount() const
{
    const std::lock_guard lock(mutex_);
    return started_;
}

PhotoTurnHost::PhotoTurnHost(WindowConversionHost& window, PhotoOrder& order, size_t index, std::string photoName)
    : window_(window), order_(order), index_(index), photoName_(std::move(photoName))
{
}

StampRequest PhotoTurnHost::NextStamp() { return window_.NextStamp(); }

void PhotoTurnHost::StampPositionReset(StampAxis axis) { window_.StampPositionReset(axis); }

ReplaceAnswer PhotoTurnHost::AskReplace(const std::string& question, const std::string& path)
{
    TakeTurn();
    return window_.AskReplace(question, path);
}

void PhotoTurnHost::ShowMessage(const std::string& text, const std::string& caption, const std::string& detail)
{
    TakeTurn();
    window_.ShowPhotoMessage(photoName_, text, caption, detail);
}

void PhotoTurnHost::Log(const std::string& line)
{
    if (!hasTurn_ && order_.HasTurn(index_)) {
        hasTurn_ = true;
        WriteHeldLines();
    }
    if (hasTurn_) {
        window_.Log(line);
    } else {
        lines_.push_back(line);
    }
}

WdpCodecLibrary* PhotoTurnHost::WdpLibrary() { return window_.WdpLibrary(); }

metadata::MetadataOptions PhotoTurnHost::PhotoInformation() { return window_.PhotoInformation(); }

void PhotoTurnHost::TakeTurn()
{
    if (!hasTurn_) {
        order_.WaitTurn(index_);
        hasTurn_ = true;
        WriteHeldLines();
    }
}

void PhotoTurnHost::WriteHeldLines()
{
    for (const std::string& line : lines_) {
        window_.Log(line);
    }
    lines_.clear();
}

std::vector<std::optional<size_t>> EarlierSameOutput(const std::vector<std::string>& outputPaths)
{
    std::vector<std::optional<size_t>> earlier(outputPaths.size());
    std::map<std::string, size_t> lastWithPath;
    for (size_t i = 0; i < outputPaths.size(); ++i) {
        const auto [found, added] = lastWithPath.emplace(outputPaths[i], i);
        if (!added) {
            earlier[i] = found->second;
            found->second = i;
        }
    }
    return earlier;
}

}  // namespace tallowin
