#pragma once
// Opens a file, folder or web address with the desktop's default application and says
// whether that worked.
//
// QDesktopServices::openUrl only reports whether the desktop's opener (xdg-open) could
// be started; an opener that then finds no browser or no application for the file fails
// unseen. Here the opener runs as a child process and its exit status is the answer.
// Openers that stay with the application they started (a plain desktop without a
// session, where xdg-open waits for the browser) count as a success once they have run
// for a moment.

#include <QString>

namespace tallowin::ui {

// How long the opener is waited for before a still-running one counts as a success.
inline constexpr int kOpenerWaitMs = 2000;

// `target` is a path (opened as a file when it exists, refused when it is an absolute
// path that does not exist) or an address. False when nothing was opened.
bool OpenWithDesktopApplication(const QString& target);

}  // namespace tallowin::ui
