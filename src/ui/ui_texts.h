#pragma once
// Texts the windows share.

#include "app_identity.h"

#include <QString>

namespace tallowin::ui {

// Caption of the boxes that carry no caption of their own (the data exchange's
// messages), the same the engine gives its untitled boxes.
inline QString AppTitle() { return QString::fromUtf8(kApplicationTitle); }

}  // namespace tallowin::ui
