#include "console_port.h"

#include "program_name.h"

#include <cstring>

namespace tallowin::cli {

namespace {

thread_local std::string t_currentPhoto;
thread_local int t_failures = 0;

}  // namespace

ConsolePort::ConsolePort(OverwritePolicy policy, std::FILE* errors, std::FILE* answers)
    : policy_(policy), errors_(errors), answers_(answers) {}

std::string ConsolePort::PhotoPrefix() { return t_currentPhoto.empty() ? std::string() : t_currentPhoto + ": "; }

void ConsolePort::SetCurrentPhoto(const std::string& sourcePath) {
    t_currentPhoto = sourcePath;
    t_failures = 0;
}

int ConsolePort::FailuresOfCurrentPhoto() { return t_failures; }

void ConsolePort::ClearProgressLocked() {
    if (progressShown_) {
        std::fputs("\r\033[K", errors_);
        progressShown_ = false;
    }
}

void ConsolePort::PrintError(const std::string& line) {
    std::lock_guard lock(mutex_);
    ClearProgressLocked();
    std::fprintf(errors_, "%s: %s\n", kProgramName, line.c_str());
    std::fflush(errors_);
}

void ConsolePort::ShowProgressLine(const std::string& line) {
    std::lock_guard lock(mutex_);
    std::fprintf(errors_, "\r\033[K%s", line.c_str());
    std::fflush(errors_);
    progressShown_ = true;
}

void ConsolePort::EndProgress() {
    std::lock_guard lock(mutex_);
    if (progressShown_) {
        std::fputs("\n", errors_);
        std::fflush(errors_);
        progressShown_ = false;
    }
}

MessageAnswer ConsolePort::ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                                       MessageIcon, MessageOwner) {
    if (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel) {
        return AskYesNo(text);
    }
    ++t_failures;
    std::string line = PhotoPrefix() + text;
    // Captions that are paths (the file that failed to save) say more than "Error".
    if (caption.find('/') != std::string::npos && text.find(caption) == std::string::npos) {
        line += " (" + caption + ")";
    }
    PrintError(line);
    return MessageAnswer::Ok;
}

bool ConsolePort::ReadAnswerLocked(std::string& reply) {
    char line[64] = {};
    if (answers_ == nullptr || std::fgets(line, sizeof line, answers_) == nullptr) {
        std::fprintf(errors_, "\n");
        return false;
    }
    reply = line;
    if (reply.back() != '\n') {
        // The rest of an overlong line is no answer to the next question.
        while (std::fgets(line, sizeof line, answers_) != nullptr && std::strchr(line, '\n') == nullptr) {
        }
    }
    return true;
}

MessageAnswer ConsolePort::AskYesNo(const std::string& question) {
    switch (policy_) {
        case OverwritePolicy::Always: return MessageAnswer::Yes;
        case OverwritePolicy::Never:
        case OverwritePolicy::Rename:
            PrintError(PhotoPrefix() + question + " No: the file is kept.");
            return MessageAnswer::No;
        case OverwritePolicy::Ask: break;
    }
    // One question at a time, with the other threads' lines held back meanwhile.
    std::lock_guard lock(mutex_);
    ClearProgressLocked();
    std::fprintf(errors_, "%s [y/N] ", question.c_str());
    std::fflush(errors_);
    std::string reply;
    if (!ReadAnswerLocked(reply)) {
        return MessageAnswer::No;
    }
    return (reply[0] == 'y' || reply[0] == 'Y') ? MessageAnswer::Yes : MessageAnswer::No;
}

ReplaceChoice ConsolePort::AskReplace(const std::string& question, const std::string&) {
    switch (policy_) {
        case OverwritePolicy::Always: return ReplaceChoice::Yes;
        case OverwritePolicy::Rename: return ReplaceChoice::KeepBoth;
        case OverwritePolicy::Never:
            PrintError(PhotoPrefix() + question + " No: the file is kept.");
            return ReplaceChoice::No;
        case OverwritePolicy::Ask: break;
    }
    std::lock_guard lock(mutex_);
    ClearProgressLocked();
    std::fprintf(errors_, "%s [y]es, [n]o, yes to [a]ll, [s]kip all, [k]eep both (default n) ", question.c_str());
    std::fflush(errors_);
    std::string reply;
    if (!ReadAnswerLocked(reply)) {
        return ReplaceChoice::No;
    }
    switch (reply[0]) {
        case 'y':
        case 'Y': return ReplaceChoice::Yes;
        case 'a':
        case 'A': return ReplaceChoice::YesToAll;
        case 's':
        case 'S': return ReplaceChoice::NoToAll;
        case 'k':
        case 'K': return ReplaceChoice::KeepBoth;
        default: return ReplaceChoice::No;
    }
}

void ConsolePort::AddLogLine(const std::string& line) { PrintError(line); }

}  // namespace tallowin::cli
