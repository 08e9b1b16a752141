#pragma once
// The sub-folders of --keep-tree: a photo found below a searched folder is written into
// the same folders below the run folder. Folders are made one name at a time from the
// run folder down, and never through a link: a name that stands in the run folder as
// a link or a file is refused, so nothing is written outside the run folder.

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tallowin::cli {

// The folders of `file` below the searched folder `root` (which ends in '/'), as
// "A/B" or "" for a photo in `root` itself; nothing when `file` is not below `root`
// or a name on the way is empty, "." or "..".
std::optional<std::string> FolderBelow(const std::string& root, const std::string& file);

class OutputTree {
public:
    explicit OutputTree(std::string runFolder);  // ends in '/'
    ~OutputTree();
    OutputTree(const OutputTree&) = delete;
    OutputTree& operator=(const OutputTree&) = delete;

    // Makes `relative` ("A/B") below the run folder, missing parents first. False, with
    // the reason in `reason`, when a name on the way is a link or no folder, or a folder
    // cannot be made.
    bool Make(const std::string& relative, std::string& reason);

    // Removes the folders Make created that are still empty, deepest first.
    void RemoveEmptyFolders();

private:
    std::string runFolder_;
    int root_ = -1;  // the run folder, open
    std::vector<std::string> created_;  // in the order they were made
    std::set<std::string> ready_;  // folders Make succeeded for
};

}  // namespace tallowin::cli
