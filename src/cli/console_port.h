#pragma once
// The window port of the batch tool: message boxes become lines on standard error
// (the question whether to replace a file is answered by the overwrite policy or,
// on a terminal, by the user), the stamp boxes are plain values, and the progress
// bar and log list print nothing. Safe for several converting threads at once.

#include "window_port.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace tallowin::cli {

enum class OverwritePolicy {
    Ask,     // ask on the terminal
    Always,  // replace existing files
    Never,   // keep existing files; the photo counts as not converted
};

class ConsolePort : public WindowPort {
public:
    ConsolePort(OverwritePolicy policy, std::FILE* errors, std::FILE* answers);

    // The photo the calling thread converts: messages name it.
    static void SetCurrentPhoto(const std::string& sourcePath);

    // Number of failure messages shown by the calling thread since the last SetCurrentPhoto.
    static int FailuresOfCurrentPhoto();

    MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                              MessageIcon icon, MessageOwner owner) override;
    std::string ControlText(ControlId id) override;
    void SetControlText(ControlId id, const std::string& text) override;
    void EnableControl(ControlId, bool) override {}
    void SetProgress(int) override {}
    void AddLogLine(const std::string& line) override;
    void RemoveFirstLogLine() override {}
    void ClearLog() override {}
    void PhotoListChanged() override {}
    bool OpenWithDesktop(const std::string&) override { return false; }

    // Prints one line on standard error, whole, beside the other threads' lines.
    void PrintError(const std::string& line);

    // A progress line on a terminal, rewritten in place; EndProgress finishes it.
    void ShowProgressLine(const std::string& line);
    void EndProgress();

private:
    MessageAnswer AskToReplace(const std::string& question);
    // "<photo>: " for the calling thread's photo, or nothing.
    static std::string PhotoPrefix();
    // Clears the progress line before other output; called under the mutex.
    void ClearProgressLocked();

    OverwritePolicy policy_;
    std::FILE* errors_;
    std::FILE* answers_;
    std::mutex mutex_;
    std::map<int, std::string> controls_;
    bool progressShown_ = false;
};

}  // namespace tallowin::cli
