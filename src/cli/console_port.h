#pragma once
// The window port of the batch tool, for the steps it shares with the window (adding
// photos, the folder search, the WDP library): message boxes become lines on standard
// error, and the question whether to replace a file is answered by the overwrite
// policy or, on a terminal, by the user. There are no controls: they read as empty.
// Safe for several converting threads at once.

#include "window_port.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace tallowin::cli {

enum class OverwritePolicy {
    Ask,     // ask on the terminal
    Always,  // replace existing files
    Never,   // keep existing files; the photo counts as not converted
    Rename,  // keep existing files and write beside them ("photo (2).jpg")
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
    std::string ControlText(ControlId) override { return {}; }
    void SetControlText(ControlId, const std::string&) override {}
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

    // The overwrite question: the policy's answer, or the user's on a terminal, where
    // the five answers are y (yes), n (no, also an empty line or the end of input),
    // a (yes to all), s (no to all: skip all) and k (keep both).
    ReplaceChoice AskReplace(const std::string& question, const std::string& caption) override;

private:
    // A question with the answers yes and no: the overwrite policy's answer, or on a
    // terminal no unless the user types y.
    MessageAnswer AskYesNo(const std::string& question);
    // Reads one answer line; false at the end of input. Called under the mutex.
    bool ReadAnswerLocked(std::string& reply);

    // "<photo>: " for the calling thread's photo, or nothing.
    static std::string PhotoPrefix();
    // Clears the progress line before other output; called under the mutex.
    void ClearProgressLocked();

    OverwritePolicy policy_;
    std::FILE* errors_;
    std::FILE* answers_;
    std::mutex mutex_;
    bool progressShown_ = false;
};

}  // namespace tallowin::cli
