#pragma once
// The program's icon, drawn for it and kept in the library's resources.

#include <QIcon>

namespace tallowin::ui {

QIcon AppIcon();

}  // namespace tallowin::ui
