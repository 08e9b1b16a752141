// tallowin: opens the "Pictavo" window and runs it until the user leaves it.

#include "application_setup.h"
#include "language.h"
#include "settings_store.h"
#include "tallowin_dlg.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tallowin::ui::ConfigureApplication();
    // The message strings exist before the window asks for any.
    tallowin::Language();
    tallowin::SettingsStore store;
    tallowin::ui::CTallowinDlg window(store);
    window.exec();
    return 0;
}
