#pragma once
// Process-wide settings of the window program, made once, right after the QApplication
// exists and before any window opens.

namespace tallowin::ui {

// Names the desktop entry and puts number formatting back to the C notation. Window
// captions stay exactly the words the program gives them: no application display name
// is set, since Qt appends one to every caption ("Warning — ...").
void ConfigureApplication();

// Keeps the memory of Qt's own dialogs (the file dialog's history, the colour dialog's
// custom colours), which Qt writes to a settings file of its own, in the private
// temporary folder, so the program's settings stay in its one settings file.
void KeepQtDialogMemoryPrivate();

}  // namespace tallowin::ui
