#include "run_progress.h"

#include <algorithm>
#include <cmath>

namespace tallowin {

namespace {

// Seconds for `left` photos at the pace of `counted` photos in `elapsedSeconds`.
std::optional<double> AtPace(size_t counted, double elapsedSeconds, size_t left)
{
    if (counted == 0 || left == 0) {
        return std::nullopt;
    }
    return std::max(0.0, elapsedSeconds) / static_cast<double>(counted) * static_cast<double>(left);
}

}  // namespace

std::optional<double> SecondsLeft(size_t ended, size_t total, double elapsedSeconds)
{
    return AtPace(ended, elapsedSeconds, ended < total ? total - ended : 0);
}

std::string TimeLeftText(double seconds)
{
    const double whole = std::ceil(std::max(1.0, seconds));
    if (whole < 60.0) {
        return "about " + std::to_string(static_cast<long long>(whole)) + " s left";
    }
    return "about " + std::to_string(static_cast<long long>(std::llround(whole / 60.0))) + " min left";
}

std::string ProgressText(size_t current, size_t total, const std::string& name, std::optional<double> secondsLeft)
{
    std::string text = std::to_string(current) + " of " + std::to_string(total);
    if (!name.empty()) {
        text += " \u00B7 " + name;
    }
    if (secondsLeft) {
        text += " \u00B7 " + TimeLeftText(*secondsLeft);
    }
    return text;
}

RunProgress::RunProgress(Clock clock) : clock_(std::move(clock)) {}

void RunProgress::Start()
{
    const auto now = clock_();
    const std::lock_guard lock(mutex_);
    start_ = now;
    startedByCaller_ = true;
    ended_ = 0;
}

void RunProgress::PhotoEnded()
{
    const auto now = clock_();
    const std::lock_guard lock(mutex_);
    if (!start_) {
        start_ = now;  // the first end starts the measure; the photos after it set the pace
    }
    ++ended_;
}

std::optional<double> RunProgress::SecondsLeftOf(size_t total) const
{
    const auto now = clock_();
    const std::lock_guard lock(mutex_);
    if (!start_) {
        return std::nullopt;
    }
    const size_t counted = startedByCaller_ ? ended_ : ended_ - 1;
    const double elapsed = std::chrono::duration<double>(now - *start_).count();
    return AtPace(counted, elapsed, ended_ < total ? total - ended_ : 0);
}

std::string RunProgress::Text(size_t current, size_t total, const std::string& name) const
{
    return ProgressText(current, total, name, SecondsLeftOf(total));
}

std::string RunProgress::EndedLine(size_t ended, size_t total, const std::string& name)
{
    PhotoEnded();
    {
        // Lines of several threads may arrive out of turn; at least `ended` have ended.
        const std::lock_guard lock(mutex_);
        ended_ = std::max(ended_, ended);
    }
    return Text(ended, total, name);
}

}  // namespace tallowin
