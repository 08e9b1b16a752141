#include "paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallowin {

std::string AddTrailingBackslash(const std::string& path)
{
    if (!path.empty() && path.back() == '/') return path;
    return path + '/';
}

std::string FolderOfPath(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FileTitleOf(const std::string& path)
{
    const std::string name = FileNameOf(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ExtensionOf(const std::string& path)
{
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

bool FileExists(const std::string& path)
{
    // Non-blocking, so that probing a FIFO does not hang.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat status {};
    const bool isFile = ::fstat(fd, &status) == 0 && !S_ISDIR(status.st_mode);
    ::close(fd);
    return isFile;
}

}  // namespace tallowin
