#pragma once
// The process's private temporary folder and the fixed temporary names composed in it.
//
// Every running copy of the program keeps its temporary files in a folder of its own
// inside the system temporary folder ("tallowin-<pid>-<random>"), created by the
// program itself with mode 0700, never adopted: two copies never overwrite each
// other's files and nobody else can read or plant them. Folders left behind by a copy
// that crashed are removed at the next start, once their process no longer runs (only
// real folders of the same user; links are never followed).

#include <cstdint>
#include <string>

namespace tallowin::desktop {

// The private temporary folder, with a trailing '/': made on first use, and made anew
// when the one made before is gone or no longer a private folder of ours. Empty when
// it cannot be created. Follows TMPDIR at every call.
std::string PrivateTempFolder();

// A name composed like the desktop's temporary names: the private folder, the first
// three characters of `prefix`, the low 16 bits of `unique` as four upper-case hex
// digits and ".TMP" ("<private>/BMP5749.TMP"). Nothing is created. Empty when the
// private folder is not available.
std::string TempFileName(const std::string& prefix, uint32_t unique);

// A fresh, empty sub-folder of the private folder ("<private>/7/"), numbered by a
// process-wide counter, with a trailing '/'. Empty when it cannot be created.
std::string UniqueTempSubfolder();

// Removes the private folders of processes that no longer run. Returns how many were
// removed.
int RemoveStaleTempFolders();

// Removes this process's private folders and everything in them.
void RemovePrivateTempFolder();

// For the life of the program: removes stale folders of crashed copies when made and
// this process's own folder when destroyed.
class PrivateTempFolderScope {
public:
    PrivateTempFolderScope() { RemoveStaleTempFolders(); }
    ~PrivateTempFolderScope() { RemovePrivateTempFolder(); }
    PrivateTempFolderScope(const PrivateTempFolderScope&) = delete;
    PrivateTempFolderScope& operator=(const PrivateTempFolderScope&) = delete;
};

}  // namespace tallowin::desktop
