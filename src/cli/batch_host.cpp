#include "batch_host.h"

namespace tallowin::cli {

bool BatchHost::ConfirmReplace(const std::string& question) {
    return console_.AskToReplace(question) == MessageAnswer::Yes;
}

void BatchHost::ShowMessage(const std::string& text, const std::string& caption, const std::string& detail) {
    const std::string line = detail.empty() ? text : text + " (" + detail + ")";
    console_.ShowMessage(line, caption, MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow);
}

void BatchHost::Log(const std::string& line) { console_.PrintError(line); }

}  // namespace tallowin::cli
