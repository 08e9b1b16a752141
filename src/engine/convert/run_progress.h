#pragma once
// The words beside a run's progress: "3 of 32 · beach.jpg · about 2 min left". The
// time left comes from the measured throughput: the time the photos that have ended
// took, spread over the photos still to come. Used by the window's run and by the
// batch tool's terminal line; the clock is a parameter so tests can drive it.

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace tallowin {

// Seconds left for the `total - ended` photos still to come when `ended` photos took
// `elapsedSeconds`; nullopt until a photo has ended (or when none is left).
std::optional<double> SecondsLeft(size_t ended, size_t total, double elapsedSeconds);

// "about 40 s left" under a minute, "about 3 min left" from a minute on.
std::string TimeLeftText(double seconds);

// "3 of 32 · beach.jpg", with " · about 2 min left" when the time left is known.
// `current` counts from 1.
std::string ProgressText(size_t current, size_t total, const std::string& name, std::optional<double> secondsLeft);

// Measures one run's throughput. Safe to use from several threads.
class RunProgress {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit RunProgress(Clock clock = [] { return std::chrono::steady_clock::now(); });

    // The run's photos start now: the time left is measured from here on.
    void Start();
    // One more photo of the run has ended (converted, failed or skipped).
    void PhotoEnded();

    // The progress text for photo `current` (from 1) of `total`. Without Start the time
    // is measured from the first photo that ended, so the estimate needs two photos.
    std::string Text(size_t current, size_t total, const std::string& name) const;
    // The time left, as Text shows it.
    std::optional<double> SecondsLeftOf(size_t total) const;

    // The batch tool's line once `ended` photos of `total` have ended, the last being
    // `name`: records the end of that photo and gives "ended of total · name · time left".
    std::string EndedLine(size_t ended, size_t total, const std::string& name);

private:
    Clock clock_;
    mutable std::mutex mutex_;
    std::optional<std::chrono::steady_clock::time_point> start_;
    bool startedByCaller_ = false;
    size_t ended_ = 0;
};

}  // namespace tallowin
