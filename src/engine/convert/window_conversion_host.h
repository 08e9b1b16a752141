#pragma once
// The main window as the host of a conversion: the stamp comes from its boxes, font
// and colour as they stand for each photo, questions and messages are its boxes, log
// lines go to its activity log, and the WDP encoder is the one it loaded. One host
// serves one run.

#include "conversion_host.h"
#include "main_window_model.h"

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

private:
    MainWindowModel& model_;
    ReplaceMemory replaceAnswers_;  // the answers "to all" of this run
};

}  // namespace tallowin
