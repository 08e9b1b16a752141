#include "application_setup.h"

#include <QGuiApplication>
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

}  // namespace tallowin::ui
