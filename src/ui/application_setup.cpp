#include "application_setup.h"

#include "temp_files.h"

#include <QGuiApplication>
#include <QSettings>
#include <QString>

#include <clocale>

namespace tallowin::ui {

void ConfigureApplication() {
    QGuiApplication::setDesktopFileName(QStringLiteral("tallowin"));
    // QApplication takes every locale category from the environment. Numbers are read
    // and written in the C notation throughout (the codec libraries print coordinates
    // with printf, the image libraries parse with strtod), so LC_NUMERIC goes back to
    // "C"; texts, collation and dates keep the user's locale.
    std::setlocale(LC_NUMERIC, "C");
}

void KeepQtDialogMemoryPrivate() {
    const QString folder = QString::fromStdString(desktop::PrivateTempFolder());
    if (folder.isEmpty()) return;
    // Qt's dialogs open QSettings(UserScope, "QtProject") in the native format.
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, folder);
}

}  // namespace tallowin::ui
