#pragma once
// The conversion's progress bar (1095). The text on it is given whole ("3 of 32 ·
// beach.jpg · about 1 min left") and shown as it is: no percent sign in a photo's name
// is read as a placeholder of the bar's format. No text, no text on the bar.

#include <QProgressBar>
#include <QString>

namespace tallowin::ui {

class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString text() const override { return caption_; }

private:
    QString caption_;
};

}  // namespace tallowin::ui
