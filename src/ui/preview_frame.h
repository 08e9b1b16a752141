#pragma once
// The preview frame (1080): a black frame that shows the selected photo as large as
// its inside allows, in the photo's proportions and centred, and draws it again on
// every paint.

#include <QFrame>
#include <QImage>

namespace tallowin::ui {

class PreviewFrame : public QFrame {
    Q_OBJECT
public:
    explicit PreviewFrame(QWidget* parent = nullptr);

    void SetImage(QImage image);
    void Clear();
    bool HasImage() const { return !image_.isNull(); }
    const QImage& Image() const { return image_; }
    // Where the image is drawn: the largest rectangle of its proportions inside the
    // frame, centred; empty without an image.
    QRect ImageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

// Loads a photo for the preview through the image codec service, scaled down in its
// proportions to fit `maxSize` (the frame is small; a large photo need not be kept
// whole). A null image when the file cannot be loaded.
QImage LoadPreviewImage(const std::string& path, QSize maxSize);

}  // namespace tallowin::ui
