#include "window_conversion_host.h"

#include "integer_text.h"
#include "language.h"

namespace tallowin {

StampRequest WindowConversionHost::NextStamp() {
    WindowPort& port = model_.Port();
    StampRequest stamp;
    stamp.text = port.ControlText(IDC_STAMP_TEXT);
    if (stamp.text.empty()) {
        return stamp;  // the position boxes are not read, however wrong they are
    }
    stamp.x = LeadingInteger(port.ControlText(IDC_STAMP_X));
    stamp.y = LeadingInteger(port.ControlText(IDC_STAMP_Y));
    stamp.font = model_.Stamp().Font();
    stamp.colour = model_.Stamp().Colour();
    return stamp;
}

void WindowConversionHost::StampPositionReset(StampAxis axis) {
    model_.Port().SetControlText(axis == StampAxis::X ? IDC_STAMP_X : IDC_STAMP_Y, "0");
}

ReplaceAnswer WindowConversionHost::AskReplace(const std::string& question, const std::string&) {
    return replaceAnswers_.Answer([&] { return model_.Port().AskReplace(question, GetText(IDS_WARNING)); });
}

// The box keeps its fixed text; the detail is in the activity log.
void WindowConversionHost::ShowMessage(const std::string& text, const std::string& caption, const std::string&) {
    model_.Port().ShowMessage(text, caption, MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow);
}

void WindowConversionHost::ShowPhotoMessage(const std::string& photoName, const std::string& text,
                                            const std::string& caption, const std::string& detail) {
    if (silenced_.load()) {
        const std::string about = photoName.empty() ? std::string() : photoName + ": ";
        model_.Log().Append(about + text + (detail.empty() ? std::string() : " (" + detail + ")"));
        return;
    }
    const std::string named = photoName.empty() ? caption : photoName + " \u2014 " + caption;
    if (model_.Port().ShowRunFailure(text, named)) {
        silenced_.store(true);
    }
}

void WindowConversionHost::Log(const std::string& line) { model_.Log().Append(line); }

WdpCodecLibrary* WindowConversionHost::WdpLibrary() { return &model_.Wdp(); }

}  // namespace tallowin
