#include "temp_files.h"

#include <QDir>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <signal.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tallowin::desktop {

namespace {

constexpr const char* kFolderPrefix = "tallowin-";

fs::path SystemTempFolder() { return fs::path(QDir::tempPath().toStdString()); }

std::string FolderNameOf(pid_t pid) { return kFolderPrefix + std::to_string(pid); }

// The pid of a private folder's name, or 0 when the name is not one of ours.
pid_t PidOfFolderName(const std::string& name)
{
    const std::string prefix = kFolderPrefix;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
    pid_t pid = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9') return 0;
        if (pid > 100'000'000) return 0;  // not a pid; also keeps the sum from overflowing
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

bool ProcessRuns(pid_t pid)
{
    // EPERM means the process exists but belongs to someone else.
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

std::atomic<unsigned> g_nextSubfolder{1};

}  // namespace

std::string PrivateTempFolder()
{
    const fs::path folder = SystemTempFolder() / FolderNameOf(::getpid());
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) return {};
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    return folder.string() + "/";
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
        std::error_code removeError;
        if (!it->is_directory(removeError) || it->is_symlink(removeError)) continue;
        if (fs::remove_all(it->path(), removeError) != static_cast<std::uintmax_t>(-1) && !removeError) ++removed;
    }
    return removed;
}

void RemovePrivateTempFolder()
{
    std::error_code ec;
    fs::remove_all(SystemTempFolder() / FolderNameOf(::getpid()), ec);
}

}  // namespace tallowin::desktop
