#pragma once
// An output file written under a temporary name beside its final path and renamed
// into place only when complete, so a failed or interrupted write never leaves a
// partial file and never destroys a file that the new one was meant to replace.

#include <string>

namespace tallowin {

class StagedOutput {
public:
    explicit StagedOutput(std::string finalPath);
    ~StagedOutput();  // removes the temporary file unless committed
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Where the writer puts the bytes: a hidden name in the same folder that keeps
    // the final extension (some writers pick their format by it).
    const std::string& TemporaryPath() const { return temporary_; }

    // Renames the finished temporary file over the final path. False, with the
    // temporary removed, when there is no temporary file or the rename fails.
    bool Commit();

private:
    std::string final_;
    std::string temporary_;
    bool committed_ = false;
};

}  // namespace tallowin
