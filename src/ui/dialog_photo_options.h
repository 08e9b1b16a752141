#pragma once
// "Photo Output Options": edits one OutputSettings record. The caller fills the public
// fields (or uses FromOutputSettings), runs exec(), and on Accepted reads them back.
// The dialog remembers the last output format, pixel format and every format's quality
// in the settings store, and always opens with the stored qualities.

#include "output_settings.h"

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace tallowin {
class SettingsStore;
}

namespace tallowin::ui {

class CDialogPhotoOptions : public QDialog {
    Q_OBJECT
public:
    CDialogPhotoOptions(SettingsStore& store, QWidget* parent = nullptr);

    // Fills the fields from a record (the WDP quality is 101 - nWdpEncoderParam) and
    // writes them back into one (nWdpEncoderParam = 101 - WDP quality).
    void FromOutputSettings(const OutputSettings& settings);
    OutputSettings ToOutputSettings() const;

    // Runs the opening sequence, then the dialog.
    int exec() override;

    int32_t nOuputSizeType = SizeCustom;
    int32_t nOutputWidth = 0;
    int32_t nOutputHeight = 0;
    int32_t nOuptputFormat = FormatBmp;
    int32_t nKeepAspectRatio = 0;
    double dHorizontalStretch = 1.0;
    double dVerticalStretch = 1.0;
    int32_t nRotateAngel = 0;
    int32_t nFlipType = 0;
    int32_t iComboPixelFormat = 0;
    int32_t nCurrentJpegQuality = 0;
    int32_t nWdpQuality = 0;
    int32_t nWebpQuality = 0;
    int32_t nAvifQuality = 0;
    int32_t nJxlQuality = 0;
    int32_t nLongEdge = 0;
    int32_t nBoxWidth = 0;
    int32_t nBoxHeight = 0;
    int32_t nShrinkOnly = 0;

public slots:
    void accept() override;

private:
    void BuildControls();
    void ConnectHandlers();
    void OnInitDialog();
    // Reads (or writes) the edits in the fixed order; false at the first failing field.
    bool Exchange(bool reading);

    void UpdateFormatView(int32_t format);
    void UpdateSizeTypeView(int32_t sizeType);
    void UpdateKeepAspectView();
    void UpdatePixelFormatView();
    void ShowWidth(bool shown);
    void ShowHeight(bool shown);

    void OnKeepAspectWidthClicked(bool checked);
    void OnKeepAspectHeightClicked(bool checked);

    SettingsStore& store_;

    QComboBox* format_ = nullptr;
    QRadioButton* sizeOriginal_ = nullptr;
    QRadioButton* sizeCustom_ = nullptr;
    QRadioButton* sizeStretch_ = nullptr;
    QRadioButton* sizeLongEdge_ = nullptr;
    QRadioButton* sizeFit_ = nullptr;
    QLineEdit* longEdge_ = nullptr;
    QLabel* longEdgeUnit_ = nullptr;
    QLineEdit* boxWidth_ = nullptr;
    QLabel* boxBy_ = nullptr;
    QLineEdit* boxHeight_ = nullptr;
    QCheckBox* shrinkOnly_ = nullptr;
    QLabel* widthLabel_ = nullptr;
    QLabel* heightLabel_ = nullptr;
    QLineEdit* width_ = nullptr;
    QLineEdit* height_ = nullptr;
    QCheckBox* keepWidth_ = nullptr;
    QCheckBox* keepHeight_ = nullptr;
    QLabel* stretchHLabel_ = nullptr;
    QLabel* stretchVLabel_ = nullptr;
    QLineEdit* stretchH_ = nullptr;
    QLineEdit* stretchV_ = nullptr;
    QLabel* pixelLabel_ = nullptr;
    QComboBox* pixelFormat_ = nullptr;
    QLabel* pixelText_ = nullptr;
    QLabel* qualityLabel_ = nullptr;
    QLineEdit* jpegQuality_ = nullptr;
    QLineEdit* wdpQuality_ = nullptr;
    QLineEdit* webpQuality_ = nullptr;
    QLineEdit* avifQuality_ = nullptr;
    QLineEdit* jxlQuality_ = nullptr;
    QLabel* qualityRange_ = nullptr;
    QRadioButton* rotate_[4] = {};
    QRadioButton* flip_[3] = {};
};

}  // namespace tallowin::ui
