#include "path_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tallowin::cli {

std::vector<std::string> SplitPathList(std::string_view text)
{
    const char separator = text.find('\0') != std::string_view::npos ? '\0' : '\n';
    std::vector<std::string> paths;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) paths.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return paths;
}

bool ReadPathList(const std::string& source, std::vector<std::string>& paths, std::string& error)
{
    const bool standardInput = source == "-";
    const std::string name = standardInput ? std::string("standard input") : source;
    const int fd = standardInput ? STDIN_FILENO : ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const char* why = std::strerror(errno);
        error = name + ": " + why;
        return false;
    }
    std::string text;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            const char* why = std::strerror(errno);
            error = name + ": " + why;
            ok = false;
            break;
        }
    }
    if (!standardInput) ::close(fd);
    if (!ok) return false;
    for (std::string& path : SplitPathList(text)) paths.push_back(std::move(path));
    return true;
}

}  // namespace tallowin::cli
