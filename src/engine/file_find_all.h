#pragma once
// The folder-tree search of "Search photos": breadth first, every photo file of a
// folder before those of its sub-folders, sub-folders in the order they were found.
// Within a folder, entries are taken in name order as a file manager shows them.
// Folders are remembered by device and inode, so links that lead back into the tree
// are not searched again.

#include "window_port.h"

#include <string>
#include <vector>

namespace tallowin {

// Name order of a file manager: letters without regard to case, runs of digits by their
// number ("p2" before "p10"); names that read the same are ordered by their bytes.
bool FileNameLess(const std::string& a, const std::string& b);

class CFileFindAll {
public:
    explicit CFileFindAll(WindowPort& port) : port_(port) {}
    virtual ~CFileFindAll() = default;

    // Appends the full path of every photo file under `folder` to `results`. False, with
    // a message (caption the application's title), when the folder cannot be read
    // (root + " occurs error!") or is no folder (root + " is not a right directory").
    bool FindPhotoFiles(const std::string& folder, std::vector<std::string>& results);

    // True when the path's extension (of its name part, compared without regard to
    // case) is one of the photo extensions the search looks for.
    static bool IsPhotoFileName(const std::string& path);

private:
    WindowPort& port_;
};

}  // namespace tallowin
