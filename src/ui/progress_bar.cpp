#include "progress_bar.h"

namespace tallowin::ui {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setAlignment(Qt::AlignCenter);
}

void ProgressBar::SetCaption(const QString& caption) {
    caption_ = caption;
    setTextVisible(!caption_.isEmpty());
    update();
}

}  // namespace tallowin::ui
