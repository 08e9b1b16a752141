#include "progress_bar.h"

#include <QPalette>

namespace tallowin::ui {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent)
{
    setTextVisible(false);
    setAlignment(Qt::AlignCenter);
    // Styles draw the empty groove in the colour of edit boxes, so an empty bar looked
    // like one: a shaded groove reads as a bar to be filled.
    QPalette shades = palette();
    shades.setColor(QPalette::Base, shades.color(QPalette::Window).darker(112));
    setPalette(shades);
}

void ProgressBar::SetCaption(const QString& caption)
{
    caption_ = caption;
    setTextVisible(!caption_.isEmpty());
    update();
}

}  // namespace tallowin::ui
