// tallowin: opens the "Pictavo" window and runs it until the user leaves it.

#include "application_setup.h"
#include "language.h"
#include "settings_store.h"
#include "tallowin_dlg.h"
#include "temp_files.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Removes folders left by copies that crashed now, and this copy's own temporary
    // files (decoded WDP photos, fixed-name bitmaps) when the window has closed.
    tallowin::desktop::PrivateTempFolderScope temporaryFiles;
    tallowin::ui::ConfigureApplication();
    // The message strings exist before the window asks for any.
    tallowin::Language();
    tallowin::SettingsStore store;
    tallowin::ui::CTallowinDlg window(store);
    window.exec();
    return 0;
}
