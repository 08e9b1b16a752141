#pragma once
// Write beside, then rename: a new file is written under a hidden staged name in the
// folder of its final path and renamed into place only when complete, so a failed
// or interrupted write leaves nothing under the final name and never harms a file
// already standing there.
//
// A staged name is "." + the final name's title + "." + process id + "-" + counter +
// ".part" + the final extension, for example ".holiday.4711-3.part.jpg". The title is
// shortened (never the suffix) so the name stays within the file system's 255-byte
// limit; the process id lets a later run recognise and remove the staged files of a
// process that was killed.

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace tallowin::plumbing {

// The longest file name the file systems we write to take (NAME_MAX).
constexpr size_t kMaxFileNameBytes = 255;

// A fresh staged path for `finalPath`: same folder, unique within this process.
std::string StagedPathFor(const std::string& finalPath);

// The process id a staged file name carries, or nothing when `name` (a file name
// without its folder) is not a staged name.
std::optional<pid_t> StagedNameOwner(std::string_view name);

// Removes the staged files in `folder` (not below it) whose process no longer runs.
// Only regular files are removed. Returns how many were.
size_t RemoveAbandonedStagedFiles(const std::string& folder);

// The same for `folder` and each folder directly inside it (an output folder and its
// run folders).
size_t RemoveAbandonedStagedFilesBelow(const std::string& folder);

// RemoveAbandonedStagedFiles for the folder of `path`, the first time this process
// asks for that folder only. StagedFile::Create calls it, so the first file a run
// stages in a folder cleans the folder.
void RemoveAbandonedStagedFilesBeside(const std::string& path);

class StagedFile {
public:
    explicit StagedFile(std::string finalPath);
    ~StagedFile();  // removes the staged file unless it was committed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const std::string& FinalPath() const { return final_; }
    const std::string& StagedPath() const { return staged_; }

    // Creates the staged file (exclusively, a new name when one is taken) and returns
    // its descriptor, owned by the caller; -1 with Error() set on failure.
    int Create();
    // The same as a stdio stream opened for writing; close it with CloseStream.
    std::FILE* CreateStream();

    // Renames the finished staged file onto the final path. False, with the staged
    // file removed and Error() set, when there is no staged file or the rename fails.
    bool Commit();
    // Removes the staged file now.
    void Discard();

    int Error() const { return error_; }  // errno of the last failure

private:
    std::string final_;
    std::string staged_;
    bool committed_ = false;
    int error_ = 0;
};

}  // namespace tallowin::plumbing
