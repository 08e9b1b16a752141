#pragma once
// The batch tool as the host of a conversion: the stamp is the one the options give
// every photo, questions follow the overwrite policy (answers "to all" stand for the
// run), messages and log lines are lines on standard error naming the photo. Safe for
// several converting threads at once.

#include "console_port.h"
#include "convert/conversion_host.h"

namespace tallowin::cli {

class BatchHost final : public ConversionHost {
public:
    BatchHost(ConsolePort& console, const StampRequest& stamp, WdpCodecLibrary* wdp,
              const metadata::MetadataOptions& information = {})
        : console_(console), stamp_(stamp), wdp_(wdp), information_(information) {}

    StampRequest NextStamp() override { return stamp_; }
    // Every photo is checked against the position the options give: nothing to change.
    void StampPositionReset(StampAxis) override {}
    ReplaceAnswer AskReplace(const std::string& question, const std::string& path) override;
    void ShowMessage(const std::string& text, const std::string& caption, const std::string& detail) override;
    void Log(const std::string& line) override;
    WdpCodecLibrary* WdpLibrary() override { return wdp_; }
    metadata::MetadataOptions PhotoInformation() override { return information_; }

private:
    ConsolePort& console_;
    const StampRequest stamp_;
    WdpCodecLibrary* const wdp_;
    const metadata::MetadataOptions information_;
    ReplaceMemory replaceAnswers_;  // the answers "to all" of this run
};

}  // namespace tallowin::cli
