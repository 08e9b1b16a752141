#pragma once
// Dialog units: the windows were laid out in units of the dialog font (a quarter of its
// average character width across, an eighth of its height down). Layouts keep the
// rows and columns; these helpers turn the few fixed widths into pixels of the font
// actually in use, so other fonts and scales keep the proportions.

#include <QFontMetrics>
#include <QWidget>

namespace tallowin::ui {

class DialogUnits {
public:
    explicit DialogUnits(const QWidget* widget) {
        const QFontMetrics metrics(widget->font());
        // The same sample the desktop's dialog manager averages over.
        const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        baseX_ = (metrics.horizontalAdvance(sample) / 26 + 1) / 2;
        baseY_ = metrics.height();
    }
    int X(int units) const { return units * baseX_ / 4; }
    int Y(int units) const { return units * baseY_ / 8; }

private:
    int baseX_ = 6;
    int baseY_ = 13;
};

}  // namespace tallowin::ui
