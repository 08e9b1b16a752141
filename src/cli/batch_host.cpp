#include "batch_host.h"

namespace tallowin::cli {

ReplaceAnswer BatchHost::AskReplace(const std::string& question, const std::string&) {
    return replaceAnswers_.Answer([&] { return console_.AskReplace(question, "Warning"); });
}

void BatchHost::ShowMessage(const std::string& text, const std::string& caption, const std::string& detail) {
    const std::string line = detail.empty() ? text : text + " (" + detail + ")";
    console_.ShowMessage(line, caption, MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow);
}

void BatchHost::Log(const std::string& line) { console_.PrintError(line); }

}  // namespace tallowin::cli
