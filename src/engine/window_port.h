#pragma once
// The one seam between the engine and the windows. The widget implementation runs
// every call on the GUI thread (calls from the worker block until they return);
// tests use a scripted fake that records every box and answers from a queue.

#include "control_ids.h"

#include <string>

namespace tallowin {

// Buttons and icons of a message box, as the desktop's message box takes them.
enum class MessageButtons { Ok, YesNo, YesNoCancel, OkCancel };
enum class MessageIcon { None, Information, Warning, Error, Question };
// The button that closed a message box.
enum class MessageAnswer { Ok, Cancel, Yes, No };

// The button that closed the question whether to replace an existing file.
enum class ReplaceChoice { Yes, No, YesToAll, NoToAll, KeepBoth };

// Who owns a message box: the main window (modal to it) or nobody (a free box,
// used while the window is closing).
enum class MessageOwner { MainWindow, None };

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // Shows a modal message box and returns the button that closed it.
    virtual MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                                      MessageButtons buttons = MessageButtons::Ok,
                                      MessageIcon icon = MessageIcon::None,
                                      MessageOwner owner = MessageOwner::MainWindow) = 0;

    // The question whether to replace an existing output file, with the buttons Yes,
    // No, Yes to all, No to all and Keep both; closing it without a button is No. A
    // window without that box asks Yes or No (a warning box owned by the main window).
    virtual ReplaceChoice AskReplace(const std::string& text, const std::string& caption)
    {
        return ShowMessage(text, caption, MessageButtons::YesNo, MessageIcon::Warning, MessageOwner::MainWindow) ==
                       MessageAnswer::Yes
                   ? ReplaceChoice::Yes
                   : ReplaceChoice::No;
    }

    // A box about a photo that failed during a run (an OK button), which also offers
    // "Don't show again in this run". True when the user chose that. Windows without
    // that choice show a plain box.
    virtual bool ShowRunFailure(const std::string& text, const std::string& caption)
    {
        ShowMessage(text, caption, MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow);
        return false;
    }

    // Text of a control (edit box, label, button caption).
    virtual std::string ControlText(ControlId id) = 0;
    virtual void SetControlText(ControlId id, const std::string& text) = 0;
    virtual void EnableControl(ControlId id, bool enabled) = 0;

    // Progress bar position, 0 to 1000.
    virtual void SetProgress(int position) = 0;
    // The text shown on the progress bar ("3 of 32 · beach.jpg · about 1 min left");
    // empty for none.
    virtual void SetProgressText(const std::string& /*text*/) {}

    // The activity log list: append a line (and select it), remove the first line, clear.
    virtual void AddLogLine(const std::string& line) = 0;
    virtual void RemoveFirstLogLine() = 0;
    virtual void ClearLog() = 0;

    // Rebuild the photo list view from the engine's list (after any change to the list).
    virtual void PhotoListChanged() = 0;
    // The status of some photos changed (PhotoListModel::Statuses()): the status column
    // follows. Called from any thread.
    virtual void PhotoStatusesChanged() {}

    // Drop the preview image, if one is shown (after photos were deleted or cleared).
    // Windows without a preview need not override it.
    virtual void DropPreview() {}

    // Opens a folder, file or web address with the desktop's default application;
    // false when nothing could be started.
    virtual bool OpenWithDesktop(const std::string& pathOrUrl) = 0;
};

}  // namespace tallowin
