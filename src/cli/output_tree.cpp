#include "output_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tallowin::cli {

std::optional<std::string> FolderBelow(const std::string& root, const std::string& file)
{
    if (root.empty() || root.back() != '/' || file.size() <= root.size() || file.compare(0, root.size(), root) != 0) {
        return std::nullopt;
    }
    const std::string relative = file.substr(root.size());
    const size_t slash = relative.rfind('/');
    if (slash == std::string::npos) return std::string();
    const std::string folder = relative.substr(0, slash);
    if (relative.substr(slash + 1).empty()) return std::nullopt;
    for (size_t start = 0; start <= folder.size();) {
        size_t end = folder.find('/', start);
        if (end == std::string::npos) end = folder.size();
        const std::string name = folder.substr(start, end - start);
        if (name.empty() || name == "." || name == "..") return std::nullopt;
        start = end + 1;
    }
    return folder;
}

OutputTree::OutputTree(std::string runFolder) : runFolder_(std::move(runFolder))
{
    root_ = ::open(runFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

OutputTree::~OutputTree()
{
    if (root_ >= 0) ::close(root_);
}

bool OutputTree::Make(const std::string& relative, std::string& reason)
{
    if (ready_.count(relative) != 0) return true;
    int folder = root_ < 0 ? -1 : ::dup(root_);
    if (folder < 0) {
        reason = runFolder_ + ": Can not create the directory";
        return false;
    }
    std::string made;  // the folders below the run folder so far, "A/B"
    bool ok = true;
    for (size_t start = 0; ok && start < relative.size();) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string name = relative.substr(start, end - start);
        made += (made.empty() ? "" : "/") + name;
        start = end + 1;
        if (::mkdirat(folder, name.c_str(), 0777) == 0) {
            created_.push_back(made);
        } else if (const int error = errno; error != EEXIST) {
            reason = runFolder_ + made + ": Can not create the directory (" + std::strerror(error) + ")";
            ok = false;
            break;
        }
        // O_NOFOLLOW: a link standing under this name is refused, not followed.
        const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            const int error = errno;
            reason = runFolder_ + made +
                (error == ELOOP || error == ENOTDIR
                     ? std::string(": Can not create the directory (a link or a file stands there; nothing is "
                                   "written through it)")
                     : ": Can not create the directory (" + std::string(std::strerror(error)) + ")");
            ok = false;
            break;
        }
        ::close(folder);
        folder = next;
    }
    if (folder >= 0) ::close(folder);
    if (ok) ready_.insert(relative);
    return ok;
}

void OutputTree::RemoveEmptyFolders()
{
    if (root_ < 0) return;
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
        ::unlinkat(root_, it->c_str(), AT_REMOVEDIR);  // fails, as it should, when not empty
    }
}

}  // namespace tallowin::cli
