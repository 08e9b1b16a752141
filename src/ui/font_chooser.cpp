#include "font_chooser.h"

#include "font_settings.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tallowin::ui {
namespace {

constexpr int kNormalWeight = 400;
constexpr uint8_t kFixedPitch = 1;
constexpr uint8_t kVariablePitch = 2;

}  // namespace

QFont FontFromLogFont(const LOGFONTA& lf) {
    QFont font;
    const std::string face = FaceName(lf);
    if (!face.empty()) font.setFamily(QString::fromStdString(face));
    if (lf.lfHeight != 0) font.setPixelSize(std::abs(lf.lfHeight));
    const int weight = lf.lfWeight == 0 ? kNormalWeight : std::clamp(lf.lfWeight, 1, 1000);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    return font;
}

LOGFONTA LogFontFromFont(const QFont& font) {
    LOGFONTA lf = DefaultStampFont();
    lf.lfHeight = -QFontInfo(font).pixelSize();
    lf.lfWeight = font.weight();
    lf.lfItalic = font.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    lf.lfPitchAndFamily = QFontInfo(font).fixedPitch() ? kFixedPitch : kVariablePitch;
    SetFaceName(lf, font.family().toStdString());
    return lf;
}

QColor ColourFromColorRef(uint32_t colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

uint32_t ColorRefFromColour(const QColor& colour) {
    return static_cast<uint32_t>(colour.red()) | (static_cast<uint32_t>(colour.green()) << 8) |
           (static_cast<uint32_t>(colour.blue()) << 16);
}

FontChooser::FontChooser(const LOGFONTA& font, uint32_t colour, QWidget* parent)
    : QDialog(parent), colour_(ColourFromColorRef(colour)) {
    setWindowTitle(QStringLiteral("Font"));
    // The font dialog lives inside this one, so the colour sits beside the effects.
    fonts_ = new QFontDialog(this);
    fonts_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog | QFontDialog::ScalableFonts |
                       QFontDialog::NonScalableFonts | QFontDialog::ProportionalFonts | QFontDialog::MonospacedFonts);
    fonts_->setWindowFlags(Qt::Widget);
    fonts_->setCurrentFont(FontFromLogFont(font));
    // Return and Escape reach the inner dialog first: it would only hide itself.
    connect(fonts_, &QDialog::finished, this,
            [this](int result) { result == QDialog::Accepted ? accept() : reject(); });

    colourButton_ = new QPushButton(this);
    colourButton_->setObjectName(QStringLiteral("colour"));
    connect(colourButton_, &QPushButton::clicked, this, [this] {
        const QColor chosen = QColorDialog::getColor(colour_, this, QStringLiteral("Color"));
        if (chosen.isValid()) {
            colour_ = chosen;
            ShowColour();
        }
    });
    ShowColour();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(new QLabel(QStringLiteral("Color:"), this));
    colourRow->addWidget(colourButton_);
    colourRow->addStretch(1);
    auto* column = new QVBoxLayout(this);
    column->addWidget(fonts_);
    column->addLayout(colourRow);
    column->addWidget(buttons);
}

void FontChooser::ShowColour() {
    QPixmap swatch(32, 16);
    swatch.fill(colour_);
    colourButton_->setIcon(QIcon(swatch));
    colourButton_->setText(colour_.name());
}

LOGFONTA FontChooser::SelectedFont() const { return LogFontFromFont(fonts_->currentFont()); }

void FontChooser::SetCurrent(const QFont& font, const QColor& colour) {
    fonts_->setCurrentFont(font);
    colour_ = colour;
    ShowColour();
}

}  // namespace tallowin::ui
