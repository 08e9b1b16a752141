#include "desktop_paths.h"

#include <QDir>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

namespace tallowin::desktop {

std::string PicturesFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    while (folder.size() > 1 && folder.endsWith('/')) folder.chop(1);
    return folder.toStdString();
}

std::string HomeFolder()
{
    std::string home = QDir::homePath().toStdString();
    if (home.empty() || home.back() != '/') home += '/';
    return home;
}

std::string ExecutableFolder()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    std::string folder = exe.parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace tallowin::desktop
