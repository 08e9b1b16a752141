#include "run_folder_watch.h"

#include <sys/stat.h>

namespace tallowin {

bool RunFolderWatch::GoneAfterFailure(const std::function<void(const std::string&)>& tell) {
    if (stopped_.load()) {
        return true;
    }
    struct stat status{};
    if (stat(runFolder_.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return false;
    }
    if (!stopped_.exchange(true)) {
        tell(GoneText(runFolder_));
    }
    return true;
}

std::string RunFolderWatch::GoneText(const std::string& runFolder) {
    return "The output folder " + runFolder + " is gone (deleted, or its disk removed); the conversion stopped.";
}

}  // namespace tallowin
