#include "staged_output.h"

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace tallowin {

namespace {

// Several workers of one process may stage files in the same folder at once.
std::atomic<unsigned> g_stageCounter{0};

}  // namespace

StagedOutput::StagedOutput(std::string finalPath) : final_(std::move(finalPath)) {
    const size_t slash = final_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : final_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? final_ : final_.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    temporary_ = folder + "." + name + "." + std::to_string(getpid()) + "-" +
                 std::to_string(g_stageCounter.fetch_add(1)) + ".part" + extension;
}

StagedOutput::~StagedOutput() {
    if (!committed_) {
        std::remove(temporary_.c_str());
    }
}

bool StagedOutput::Commit() {
    if (access(temporary_.c_str(), F_OK) != 0) {
        return false;
    }
    if (std::rename(temporary_.c_str(), final_.c_str()) != 0) {
        std::remove(temporary_.c_str());
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace tallowin
