#pragma once
// The stamp's font chooser: the desktop's font choice with its effects (underline,
// strike-out) and a colour. It starts from the current font and colour, so choosing a
// font keeps the colour unless the user changes it.

#include "gdiplus.h"  // LOGFONTA

#include <QDialog>
#include <QFont>

#include <cstdint>

class QFontDialog;
class QPushButton;

namespace tallowin::ui {

// Conversions between the stored font record and Qt's font. Heights are in pixels:
// a negative lfHeight is the character height, as the stamp draws it.
QFont FontFromLogFont(const LOGFONTA& logFont);
LOGFONTA LogFontFromFont(const QFont& font);
// Colours are 0x00BBGGRR, red in the low byte.
QColor ColourFromColorRef(uint32_t colour);
uint32_t ColorRefFromColour(const QColor& colour);

class FontChooser : public QDialog {
    Q_OBJECT
public:
    FontChooser(const LOGFONTA& font, uint32_t colour, QWidget* parent = nullptr);

    LOGFONTA SelectedFont() const;
    uint32_t SelectedColour() const { return ColorRefFromColour(colour_); }

    // For tests and scripts: the choice the dialog would return.
    void SetCurrent(const QFont& font, const QColor& colour);

private:
    void ShowColour();

    QFontDialog* fonts_ = nullptr;
    QPushButton* colourButton_ = nullptr;
    QColor colour_;
};

}  // namespace tallowin::ui
