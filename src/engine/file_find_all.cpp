#include "file_find_all.h"

#include "app_identity.h"
#include "paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <deque>
#include <set>
#include <string_view>
#include <utility>

namespace tallowin {

namespace {

constexpr std::array<std::string_view, 26> kPhotoExtensions = {
    ".bmp", ".jpg", ".jpeg", ".gif", ".tif", ".tiff", ".png", ".exif", ".ico", ".emf", ".wmf", ".dib", ".wdp",
    // phones and cameras: HEIF/AVIF, WebP, JPEG XL and camera RAW
    ".heic", ".heif", ".avif", ".webp", ".jxl", ".dng", ".cr2", ".cr3", ".nef", ".arw", ".orf", ".rw2", ".raf",
};

using FolderId = std::pair<dev_t, ino_t>;

// Entry names of a folder in the order the file system returns them; none when it
// cannot be opened.
std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

}  // namespace

bool CFileFindAll::IsPhotoFileName(const std::string& path)
{
    const std::string name = FileNameOf(path);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kPhotoExtensions.begin(), kPhotoExtensions.end(), extension) != kPhotoExtensions.end();
}

bool CFileFindAll::FindPhotoFiles(const std::string& folder, std::vector<std::string>& results)
{
    const std::string root = AddTrailingBackslash(folder);
    // The folder's own attributes: with the slash appended a plain file would not be
    // found at all, and could not be told apart from a missing one.
    std::string probe = root;
    while (probe.size() > 1 && probe.back() == '/') probe.pop_back();
    struct stat rootStatus {};
    if (::stat(probe.c_str(), &rootStatus) != 0) {
        port_.ShowMessage(root + " occurs error!", kApplicationTitle);
        return false;
    }
    if (!S_ISDIR(rootStatus.st_mode)) {
        port_.ShowMessage(root + " is not a right directory", kApplicationTitle);
        return false;
    }

    std::set<FolderId> entered{{rootStatus.st_dev, rootStatus.st_ino}};
    std::deque<std::string> pending{root};
    while (!pending.empty()) {
        const std::string head = pending.front();
        for (const std::string& name : FolderEntries(head)) {
            const std::string path = head + name;
            struct stat status {};
            const bool isFolder = ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
            if (isFolder) {
                if (name == "." || name == "..") continue;
                if (!entered.insert({status.st_dev, status.st_ino}).second) continue;  // seen already
                pending.push_back(path + "/");
            } else if (IsPhotoFileName(path)) {
                results.push_back(path);
            }
        }
        pending.pop_front();
    }
    return true;
}

}  // namespace tallowin
