#include "staged_output.h"

namespace tallowin {

StagedOutput::StagedOutput(std::string finalPath) : file_(std::move(finalPath)), temporary_(file_.StagedPath()) {
    plumbing::RemoveAbandonedStagedFilesBeside(file_.FinalPath());
}

}  // namespace tallowin
