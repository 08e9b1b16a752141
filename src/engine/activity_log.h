#pragma once
// Lines of the activity log.

#include <ctime>
#include <string>

namespace tallowin {

// The most recent lines the activity log list keeps.
inline constexpr size_t kLogListCapacity = 500;

// A log line: the local time as "%Y/%m/%d %H:%M:%S " followed by the message.
std::string FormatLogLine(std::time_t when, const std::string& message);

// Appends the line and a line end to the file (created when missing), opening and
// closing it for this line alone. False when it cannot be opened or written.
bool AppendLineToFile(const std::string& path, const std::string& line);

}  // namespace tallowin
