#pragma once
// A scripted window port for tests: records every message box, control text, progress
// step, log line and opened address, and answers message boxes from a queue. Safe to
// call from a worker thread.

#include "window_port.h"

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tallowin::test {

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageButtons buttons;
    MessageIcon icon;
    MessageOwner owner;
};

class FakeWindowPort : public WindowPort {
public:
    // Answers given to the next message boxes, in order. When the queue is empty a box
    // is answered with Ok (Ok boxes), No (Yes/No) or Cancel (the others).
    void QueueAnswer(MessageAnswer answer)
    {
        std::lock_guard lock(mutex_);
        answers_.push_back(answer);
    }
    // The result OpenWithDesktop reports.
    void SetOpenSucceeds(bool succeeds)
    {
        std::lock_guard lock(mutex_);
        openSucceeds_ = succeeds;
    }
    // Text a control holds, as if the user had typed it.
    void Type(ControlId id, const std::string& text)
    {
        std::lock_guard lock(mutex_);
        controls_[id] = text;
    }

    MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                              MessageIcon icon, MessageOwner owner) override
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({text, caption, buttons, icon, owner});
        if (!answers_.empty()) {
            const MessageAnswer answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        switch (buttons) {
        case MessageButtons::Ok: return MessageAnswer::Ok;
        case MessageButtons::YesNo: return MessageAnswer::No;
        default: return MessageAnswer::Cancel;
        }
    }

    std::string ControlText(ControlId id) override
    {
        std::lock_guard lock(mutex_);
        const auto it = controls_.find(id);
        return it == controls_.end() ? std::string() : it->second;
    }
    void SetControlText(ControlId id, const std::string& text) override
    {
        std::lock_guard lock(mutex_);
        controls_[id] = text;
    }
    void EnableControl(ControlId id, bool enabled) override
    {
        std::lock_guard lock(mutex_);
        enabled_[id] = enabled;
    }
    void SetProgress(int position) override
    {
        std::lock_guard lock(mutex_);
        progress_.push_back(position);
    }
    void AddLogLine(const std::string& line) override
    {
        std::lock_guard lock(mutex_);
        logLines_.push_back(line);
    }
    void RemoveFirstLogLine() override
    {
        std::lock_guard lock(mutex_);
        if (!logLines_.empty()) logLines_.pop_front();
    }
    void ClearLog() override
    {
        std::lock_guard lock(mutex_);
        logLines_.clear();
    }
    void PhotoListChanged() override
    {
        std::lock_guard lock(mutex_);
        ++listRebuilds_;
    }
    void DropPreview() override
    {
        std::lock_guard lock(mutex_);
        ++previewDrops_;
    }
    bool OpenWithDesktop(const std::string& pathOrUrl) override
    {
        std::lock_guard lock(mutex_);
        opened_.push_back(pathOrUrl);
        return openSucceeds_;
    }

    // ---- What was recorded ----
    std::vector<ShownMessage> Messages() const
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // Texts of the boxes shown so far, in order.
    std::vector<std::string> MessageTexts() const
    {
        std::lock_guard lock(mutex_);
        std::vector<std::string> texts;
        for (const ShownMessage& m : messages_) texts.push_back(m.text);
        return texts;
    }
    void ClearMessages()
    {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }
    // Whether the control was last enabled; absent when never touched.
    std::map<ControlId, bool> Enabled() const
    {
        std::lock_guard lock(mutex_);
        return enabled_;
    }
    std::vector<int> Progress() const
    {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    std::deque<std::string> LogLines() const
    {
        std::lock_guard lock(mutex_);
        return logLines_;
    }
    int ListRebuilds() const
    {
        std::lock_guard lock(mutex_);
        return listRebuilds_;
    }
    int PreviewDrops() const
    {
        std::lock_guard lock(mutex_);
        return previewDrops_;
    }
    std::vector<std::string> Opened() const
    {
        std::lock_guard lock(mutex_);
        return opened_;
    }

private:
    mutable std::mutex mutex_;
    std::deque<MessageAnswer> answers_;
    bool openSucceeds_ = true;
    std::vector<ShownMessage> messages_;
    std::map<ControlId, std::string> controls_;
    std::map<ControlId, bool> enabled_;
    std::vector<int> progress_;
    std::deque<std::string> logLines_;
    int listRebuilds_ = 0;
    int previewDrops_ = 0;
    std::vector<std::string> opened_;
};

}  // namespace tallowin::test
