#pragma once
// The window port over real widgets. Controls are found by their objectName, which is
// their numeric id. Calls made on another thread (the conversion worker) are carried
// out on the GUI thread, and the caller blocks until they return, so the worker waits
// on every message box it shows.
//
// Check boxes exchange their state as text: "1" when checked, "0" when not. Buttons
// exchange their text without the '&' of their access key, which they keep.
//
// PhotoStatusesChanged from another thread does not wait: it posts one refresh of the
// status column (see there).

#include "window_port.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <functional>

class QMessageBox;

namespace tallowin::ui {

class WidgetWindowPort final : public QObject, public WindowPort {
    Q_OBJECT
public:
    // `window` owns the controls and the boxes that have an owner.
    explicit WidgetWindowPort(QWidget* window);

    MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                              MessageIcon icon, MessageOwner owner) override;
    ReplaceChoice AskReplace(const std::string& text, const std::string& caption) override;
    // An OK box owned by the window with a "Don't show again in this run" check box.
    bool ShowRunFailure(const std::string& text, const std::string& caption) override;
    std::string ControlText(ControlId id) override;
    void SetControlText(ControlId id, const std::string& text) override;
    void EnableControl(ControlId id, bool enabled) override;
    void SetProgress(int position) override;
    void SetProgressText(const std::string& text) override;
    void AddLogLine(const std::string& line) override;
    void RemoveFirstLogLine() override;
    void ClearLog() override;
    void PhotoListChanged() override;
    void PhotoStatusesChanged() override;
    void DropPreview() override;
    bool OpenWithDesktop(const std::string& pathOrUrl) override;

    // What PhotoListChanged does: the window rebuilds its list view.
    void SetPhotoListChangedHandler(std::function<void()> handler) { photoListChanged_ = std::move(handler); }
    // What DropPreview does: the window forgets its preview image.
    void SetDropPreviewHandler(std::function<void()> handler) { dropPreview_ = std::move(handler); }
    // What PhotoStatusesChanged does, on the GUI thread: the window's status column follows.
    void SetPhotoStatusesChangedHandler(std::function<void()> handler) { photoStatusesChanged_ = std::move(handler); }
    // Called after the engine set the Convert button's text or state (a run started or
    // ended).
    void SetConvertChangedHandler(std::function<void()> handler) { convertChanged_ = std::move(handler); }

    // The control with the given id, or null.
    QWidget* Control(ControlId id) const;

private:
    // Runs `work` on the GUI thread and returns its result.
    template <typename Work>
    auto OnGuiThread(Work work) -> decltype(work());

    QPointer<QWidget> window_;
    std::function<void()> photoListChanged_;
    std::function<void()> dropPreview_;
    std::function<void()> photoStatusesChanged_;
    std::function<void()> convertChanged_;
    std::atomic<bool> statusRefreshPosted_{false};
};

// Builds the message box that ShowMessage runs (exposed for the windows' own boxes).
MessageAnswer RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                            MessageButtons buttons = MessageButtons::Ok, MessageIcon icon = MessageIcon::None);

}  // namespace tallowin::ui
