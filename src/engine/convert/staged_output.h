#pragma once
// An output file written under a staged name beside its final path by some other
// writer (the WDP library, the raster core) and renamed into place only when
// complete, so a failed or interrupted write never leaves a partial file and never
// destroys a file that the new one was meant to replace.

#include "staged_file.h"

#include <string>

namespace tallowin {

class StagedOutput {
public:
    explicit StagedOutput(std::string finalPath);
    ~StagedOutput() = default;  // removes the staged file unless committed
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Where the writer puts the bytes: a hidden name in the same folder that keeps
    // the final extension (some writers pick their format by it) and fits within the
    // file system's name limit whatever the final name's length.
    const std::string& TemporaryPath() const { return temporary_; }

    // Renames the finished temporary file over the final path. False, with the
    // temporary removed, when there is no temporary file or the rename fails.
    bool Commit() { return file_.Commit(); }

private:
    plumbing::StagedFile file_;
    std::string temporary_;  // kept for the writer's messages after a failed commit
};

}  // namespace tallowin
