#include "file_find_all.h"

#include "app_identity.h"
#include "paths.h"

#include <QString>

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

// Entry names of a folder in name order; none when it cannot be opened.
std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end(), FileNameLess);
    return names;
}

}  // namespace

bool FileNameLess(const std::string& a, const std::string& b)
{
    // Case folded as Unicode text; bytes that are no UTF-8 become U+FFFD here and are
    // told apart by the byte order below.
    const QString left = QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size())).toCaseFolded();
    const QString right = QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())).toCaseFolded();
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < left.size() && j < right.size()) {
        if (isDigit(left[i]) && isDigit(right[j])) {
            // A run of digits counts as its number: "p2" before "p10".
            while (i < left.size() && left[i] == u'0') ++i;
            while (j < right.size() && right[j] == u'0') ++j;
            qsizetype endLeft = i;
            qsizetype endRight = j;
            while (endLeft < left.size() && isDigit(left[endLeft])) ++endLeft;
            while (endRight < right.size() && isDigit(right[endRight])) ++endRight;
            if (endLeft - i != endRight - j) return endLeft - i < endRight - j;
            const int digits = QStringView(left).mid(i, endLeft - i).compare(QStringView(right).mid(j, endRight - j));
            if (digits != 0) return digits < 0;
            i = endLeft;
            j = endRight;
            continue;
        }
        if (left[i] != right[j]) return left[i] < right[j];
        ++i;
        ++j;
    }
    if (left.size() - i != right.size() - j) return left.size() - i < right.size() - j;
    // Equal as a user reads them ("a.JPG" and "A.jpg", "p01" and "p1"): byte order, so
    // the order never depends on the file system.
    return a < b;
}

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
