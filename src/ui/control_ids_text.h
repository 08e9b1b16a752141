#pragma once
// Every control's objectName is its numeric id, so code and tests find controls by id.

#include "control_ids.h"

#include <QString>
#include <QWidget>

namespace tallowin::ui {

inline QString ControlName(ControlId id) { return QString::number(static_cast<int>(id)); }

// Gives `widget` its id as objectName and returns it, for one-line construction.
template <typename Widget>
Widget* WithId(Widget* widget, ControlId id) {
    widget->setObjectName(ControlName(id));
    return widget;
}

}  // namespace tallowin::ui
