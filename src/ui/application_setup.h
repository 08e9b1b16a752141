#pragma once
// Process-wide settings of the window program, made once, right after the QApplication
// exists and before any window opens.

namespace tallowin::ui {

// Names the desktop entry and puts number formatting back to the C notation. Window
// captions stay exactly the words the program gives them: no application display name
// is set, since Qt appends one to every caption ("Warning — ...").
void ConfigureApplication();

}  // namespace tallowin::ui
