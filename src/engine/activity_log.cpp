#include "activity_log.h"

#include "paths.h"

#include <cstdio>

namespace tallowin {

std::string FormatLogLine(std::time_t when, const std::string& message)
{
    std::tm local{};
    localtime_r(&when, &local);
    char prefix[64];
    const size_t length = std::strftime(prefix, sizeof prefix, "%Y/%m/%d %H:%M:%S ", &local);
    return std::string(prefix, length) + message;
}

bool AppendLineToFile(const std::string& path, const std::string& line)
{
    std::FILE* file = std::fopen(path.c_str(), "a+");
    if (!file) return false;
    const bool written = std::fprintf(file, "%s\n", line.c_str()) >= 0;
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

bool ActivityLog::Append(const std::string& message)
{
    const std::string line = FormatLogLine(std::time(nullptr), message);
    bool overCapacity = false;
    {
        // The port is called outside the lock: the window runs it on its own thread
        // and may ask for LogLines() meanwhile.
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
        overCapacity = lines_.size() > kLogListCapacity;
        if (overCapacity) lines_.erase(lines_.begin());
    }
    port_.AddLogLine(line);
    if (overCapacity) port_.RemoveFirstLogLine();
    return AppendLineToFile(filePath_, line);
}

void ActivityLog::Clear()
{
    {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }
    port_.ClearLog();
}

std::vector<std::string> ActivityLog::Lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

void ActivityLog::View()
{
    if (!FileExists(filePath_)) {
        port_.ShowMessage("There is not log file now!", "Message");
        return;
    }
    port_.OpenWithDesktop(filePath_);
}

}  // namespace tallowin
