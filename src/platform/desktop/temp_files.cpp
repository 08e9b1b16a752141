#include "temp_files.h"

#include <QDir>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <signal.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace tallowin::desktop {

namespace {

constexpr const char* kFolderPrefix = "tallowin-";
// mkdtemp replaces these with random characters.
constexpr const char* kRandomPart = "XXXXXX";
constexpr size_t kRandomLength = 6;

fs::path SystemTempFolder() { return fs::path(QDir::tempPath().toStdString()); }

// "tallowin-<pid>-XXXXXX": the pid tells whose folder it is, the random part makes
// the name unguessable, so nobody can prepare a folder or a link under it in advance.
std::string FolderTemplateOf(pid_t pid) { return kFolderPrefix + std::to_string(pid) + "-" + kRandomPart; }

bool IsRandomPart(const std::string& text) {
    if (text.size() != kRandomLength) return false;
    for (const char c : text) {
        const bool letterOrDigit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letterOrDigit) return false;
    }
    return true;
}

// The pid of a private folder's name ("tallowin-<pid>-XXXXXX", or "tallowin-<pid>" as
// earlier versions named it), or 0 when the name is not one of ours.
pid_t PidOfFolderName(const std::string& name)
{
    const std::string prefix = kFolderPrefix;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
    pid_t pid = 0;
    size_t i = prefix.size();
    for (; i < name.size() && name[i] != '-'; ++i) {
        const char c = name[i];
        if (c < '0' || c > '9') return 0;
        if (pid > 100'000'000) return 0;  // not a pid; also keeps the sum from overflowing
        pid = pid * 10 + (c - '0');
    }
    if (i == prefix.size()) return 0;
    if (i < name.size() && !IsRandomPart(name.substr(i + 1))) return 0;
    return pid;
}

bool ProcessRuns(pid_t pid)
{
    // EPERM means the process exists but belongs to someone else.
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// A real folder (not a link to one) that this user owns and nobody else may enter.
bool IsOwnPrivateFolder(const fs::path& folder, bool requirePrivateMode)
{
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return false;
    if (status.st_uid != ::geteuid()) return false;
    return !requirePrivateMode || (status.st_mode & 077) == 0;
}

// The folders this process made, newest last: one per system temporary folder it was
// asked for (tests point TMPDIR elsewhere between calls).
struct OwnFolders {
    std::mutex mutex;
    std::vector<fs::path> made;
};

OwnFolders& Own()
{
    static OwnFolders folders;
    return folders;
}

std::atomic<unsigned> g_nextSubfolder{1};

}  // namespace

std::string PrivateTempFolder()
{
    const fs::path base = SystemTempFolder();
    OwnFolders& own = Own();
    std::lock_guard lock(own.mutex);
    for (auto it = own.made.rbegin(); it != own.made.rend(); ++it) {
        // Still there and still ours: reused. Anything else standing at the name now
        // (it was removed, or replaced by a link) is left alone and a new folder made.
        if (it->parent_path() == base && IsOwnPrivateFolder(*it, true)) return it->string() + "/";
    }
    std::string name = (base / FolderTemplateOf(::getpid())).string();
    // mkdtemp creates the folder itself, with mode 0700, and fails rather than take
    // over anything already at the name.
    if (::mkdtemp(name.data()) == nullptr) return {};
    own.made.emplace_back(name);
    return name + "/";
}

std::string TempFileName(const std::string& prefix, uint32_t unique)
{
    const std::string folder = PrivateTempFolder();
    if (folder.empty()) return {};
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(unique & 0xFFFFu));
    return folder + prefix.substr(0, 3) + digits + ".TMP";
}

std::string UniqueTempSubfolder()
{
    const std::string folder = PrivateTempFolder();
    if (folder.empty()) return {};
    std::error_code ec;
    for (;;) {
        const fs::path sub = fs::path(folder) / std::to_string(g_nextSubfolder.fetch_add(1));
        if (fs::create_directory(sub, ec)) return sub.string() + "/";
        if (ec) return {};
        // The number was taken already (left by an earlier test of the same process); try the next.
    }
}

int RemoveStaleTempFolders()
{
    std::error_code ec;
    int removed = 0;
    for (fs::directory_iterator it(SystemTempFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        const pid_t pid = PidOfFolderName(it->path().filename().string());
        if (pid <= 0 || pid == ::getpid() || ProcessRuns(pid)) continue;
        // Only real folders of this user: never a link, never someone else's folder
        // that happens to carry our name.
        if (!IsOwnPrivateFolder(it->path(), false)) continue;
        std::error_code removeError;
        // remove_all deletes links inside the folder, never what they point to.
        if (fs::remove_all(it->path(), removeError) != static_cast<std::uintmax_t>(-1) && !removeError) ++removed;
    }
    return removed;
}

void RemovePrivateTempFolder()
{
    OwnFolders& own = Own();
    std::lock_guard lock(own.mutex);
    for (const fs::path& folder : own.made) {
        // A name that no longer holds our folder (a link put in its place) is not ours
        // to empty.
        if (!IsOwnPrivateFolder(folder, false)) continue;
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    own.made.clear();
}

}  // namespace tallowin::desktop
