#include "replace_question.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tallowin {

namespace {

// Numbered names tried before "Keep both" gives up.
constexpr int kLastNumber = 1000;

}  // namespace

ReplaceAnswer ReplaceMemory::Answer(const std::function<ReplaceChoice()>& ask) {
    std::lock_guard lock(mutex_);
    if (forAll_) {
        return *forAll_;
    }
    switch (ask()) {
        case ReplaceChoice::Yes: return ReplaceAnswer::Replace;
        case ReplaceChoice::YesToAll: forAll_ = ReplaceAnswer::Replace; return ReplaceAnswer::Replace;
        case ReplaceChoice::NoToAll: forAll_ = ReplaceAnswer::Keep; return ReplaceAnswer::Keep;
        case ReplaceChoice::KeepBoth: return ReplaceAnswer::KeepBoth;
        case ReplaceChoice::No: break;
    }
    return ReplaceAnswer::Keep;
}

std::string NumberedName(const std::string& path, int number) {
    const size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) {
        dot = path.size();  // no extension, or a name like ".hidden"
    }
    return path.substr(0, dot) + " (" + std::to_string(number) + ")" + path.substr(dot);
}

std::string ClaimFreeNameBeside(const std::string& path) {
    for (int number = 2; number <= kLastNumber; ++number) {
        const std::string name = NumberedName(path, number);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            close(fd);
            return name;
        }
        if (errno != EEXIST) {
            return {};
        }
    }
    return {};
}

}  // namespace tallowin
