#pragma once
// The activity log: the list the window shows (its latest lines) and the log file
// that keeps every line.

#include "window_port.h"

#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace tallowin {

// The most recent lines the activity log list keeps.
inline constexpr size_t kLogListCapacity = 500;

// A log line: the local time as "%Y/%m/%d %H:%M:%S " followed by the message.
std::string FormatLogLine(std::time_t when, const std::string& message);

// Appends the line and a line end to the file (created when missing), opening and
// closing it for this line alone. False when it cannot be opened or written.
bool AppendLineToFile(const std::string& path, const std::string& line);

// The window's log. Append and Clear are called from the conversion worker too.
class ActivityLog {
public:
    explicit ActivityLog(WindowPort& port) : port_(port) {}

    // The log file (fixed at start-up, in the output folder of that moment).
    const std::string& FilePath() const { return filePath_; }
    void SetFilePath(std::string path) { filePath_ = std::move(path); }

    // One line, with the time prefix, to the list and the file. False when the file
    // cannot be opened or written.
    bool Append(const std::string& message);
    // Empties the list (a run starts); the file keeps its lines.
    void Clear();
    // Lines now in the list.
    std::vector<std::string> Lines() const;
    // View log: opens the file with the desktop, or says there is none yet.
    void View();

private:
    WindowPort& port_;
    std::string filePath_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace tallowin
