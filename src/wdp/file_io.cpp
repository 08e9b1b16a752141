#include "file_io.h"

#include "staged_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace tallowin::wdp {

std::string TemporarySibling(const std::string& path) {
    plumbing::RemoveAbandonedStagedFilesBeside(path);
    return plumbing::StagedPathFor(path);
}

int CreateForWriting(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool CommitTemporary(const std::string& temporary, const std::string& path) {
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    std::remove(temporary.c_str());
    return false;
}

}  // namespace tallowin::wdp
