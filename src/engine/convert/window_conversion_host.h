#pragma once
// The main window as the host of a conversion: the stamp comes from its boxes, font
// and colour as they stand for each photo, questions and messages are its boxes, log
// lines go to its activity log, and the WDP encoder is the one it loaded. One host
// serves a whole run; the failure boxes of a run can be silenced for the rest of it.

#include "conversion_host.h"
#include "main_window_model.h"

#include <atomic>
#include <string>

namespace tallowin {

class WindowConversionHost final : public ConversionHost {
public:
    explicit WindowConversionHost(MainWindowModel& model) : model_(model) {}

    StampRequest NextStamp() override;
    void StampPositionReset(StampAxis axis) override;
    ReplaceAnswer AskReplace(const std::string& question, const std::string& path) override;
    void ShowMessage(const std::string& text, const std::string& caption, const std::string& detail) override;
    void Log(const std::string& line) override;
    WdpCodecLibrary* WdpLibrary() override;
    metadata::MetadataOptions PhotoInformation() override { return model_.PhotoInformation(); }

    // A message of the conversion of `photoName`: a box whose caption names the photo
    // ("beach.jpg — Error") and that offers "Don't show again in this run". Once the user
    // takes that, or once the run silenced them, such messages only go to the log.
    void ShowPhotoMessage(const std::string& photoName, const std::string& text, const std::string& caption,
                          const std::string& detail);
    // The rest of the run shows no more boxes for its photos' messages (the run folder
    // is gone and the run has said so).
    void SilenceFailureBoxes() { silenced_.store(true); }
    bool FailureBoxesSilenced() const { return silenced_.load(); }

private:
    MainWindowModel& model_;
    ReplaceMemory replaceAnswers_;  // the answers "to all" of this run
    std::atomic<bool> silenced_{false};
};

}  // namespace tallowin
