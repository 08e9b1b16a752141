#include "preview_frame.h"

#include "gdiplus.h"

#include <QPainter>

#include <algorithm>
#include <memory>

namespace tallowin::ui {

PreviewFrame::PreviewFrame(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    QPalette frame = palette();
    frame.setColor(QPalette::WindowText, Qt::black);
    setPalette(frame);
}

void PreviewFrame::SetImage(QImage image) {
    image_ = std::move(image);
    update();
}

void PreviewFrame::Clear() {
    image_ = QImage();
    update();
}

QRect PreviewFrame::ImageRect() const {
    const QRect inside = contentsRect();
    if (image_.isNull() || inside.isEmpty()) return {};
    const QSize size = image_.size().scaled(inside.size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return QRect(inside.x() + (inside.width() - size.width()) / 2, inside.y() + (inside.height() - size.height()) / 2,
                 size.width(), size.height());
}

void PreviewFrame::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    const QRect target = ImageRect();
    if (target.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image_);
}

}  // namespace tallowin::ui

namespace tallowin::ui {
namespace {

// Releases the service's objects on every way out.
struct ImageDeleter {
    void operator()(GpImage* image) const { GdipDisposeImage(image); }
};
struct GraphicsDeleter {
    void operator()(GpGraphics* graphics) const { GdipDeleteGraphics(graphics); }
};

}  // namespace

QImage LoadPreviewImage(const std::string& path, QSize maxSize) {
    const std::u16string widePath = GdipExtWidePath(path);
    GpImage* raw = nullptr;
    if (GdipLoadImageFromFile(widePath.c_str(), &raw) != Ok) return {};
    const std::unique_ptr<GpImage, ImageDeleter> image(raw);
    UINT width = 0;
    UINT height = 0;
    if (GdipGetImageWidth(image.get(), &width) != Ok || GdipGetImageHeight(image.get(), &height) != Ok ||
        width == 0 || height == 0)
        return {};

    // Keep no more pixels than the frame can show, in the photo's proportions.
    QSize size(static_cast<int>(std::min<UINT>(width, INT32_MAX)), static_cast<int>(std::min<UINT>(height, INT32_MAX)));
    const QSize room = maxSize.expandedTo(QSize(1, 1));
    if (size.width() > room.width() || size.height() > room.height())
        size = size.scaled(room, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    QImage target(size, QImage::Format_ARGB32);
    target.fill(Qt::white);
    // Format_ARGB32 lies in memory as the service's 32-bit ARGB: blue, green, red, alpha.
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromScan0(size.width(), size.height(), static_cast<int32_t>(target.bytesPerLine()),
                                  PixelFormat32bppARGB, target.bits(), &bitmap) != Ok)
        return {};
    // A GpBitmap is a GpImage (its only base), which the public header cannot show.
    const std::unique_ptr<GpImage, ImageDeleter> canvas(reinterpret_cast<GpImage*>(bitmap));
    GpGraphics* rawGraphics = nullptr;
    if (GdipGetImageGraphicsContext(canvas.get(), &rawGraphics) != Ok) return {};
    const std::unique_ptr<GpGraphics, GraphicsDeleter> graphics(rawGraphics);
    if (GdipDrawImageRectI(graphics.get(), image.get(), 0, 0, size.width(), size.height()) != Ok) return {};
    return target;
}

}  // namespace tallowin::ui
