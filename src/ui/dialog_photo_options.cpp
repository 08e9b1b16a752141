#include "dialog_photo_options.h"

#include "control_ids_text.h"
#include "data_exchange.h"
#include "dialog_units.h"
#include "language.h"
#include "settings_keys.h"
#include "settings_store.h"
#include "ui_texts.h"
#include "widget_window_port.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>
#include <initializer_list>

namespace tallowin::ui {
namespace {

constexpr std::array kFormatLabels = {"BMP", "JPG", "PNG", "TIF", "GIF", "WDP", "WEBP", "AVIF", "JXL"};
static_assert(kFormatLabels.size() == kOutputFormatCount);
constexpr std::array kPixelFormatLabels = {"1 bit Indexed",  "4 bits Indexed", "8 bits Indexed", "16 bits RGB565",
                                           "24 bits RGB",    "32 bits ARGB",   "32 bits PARGB",  "32 bits RGB",
                                           "64 bits ARGB",   "64 bits PARGB"};
constexpr std::array kRotations = {0, 90, 180, 270};
constexpr int kDefaultPixelFormatText = IDS_PIXEL_FORMAT_FIRST + 4;  // 24 bits RGB

constexpr int32_t kQualityMin = 1;
constexpr int32_t kQualityMax = 100;
// Long edge and box sides, in pixels.
constexpr int32_t kSizeMin = 1;
constexpr int32_t kSizeMax = 1000000;
constexpr double kStretchMin = 0.000001;
constexpr double kStretchMax = 1000000.0;

constexpr const char* kSection = keys::kOption;
constexpr const char* kKeyFormat = keys::kOuptputFormat;
constexpr const char* kKeyPixelFormat = keys::kComboPixelFormat;
constexpr const char* kKeyJpegQuality = keys::kCurrentJpegQuality;
constexpr const char* kKeyWdpQuality = keys::kWdpQualityControl;
constexpr const char* kKeyWebpQuality = keys::kWebpQuality;
constexpr const char* kKeyAvifQuality = keys::kAvifQuality;
constexpr const char* kKeyJxlQuality = keys::kJxlQuality;
constexpr int32_t kDefaultJpegQuality = FirstStartOutputSettings().nCurrentJpegQuality;
constexpr int32_t kDefaultWdpQuality = 40;
constexpr OutputSettings kDefaultSettings{};
// nWdpEncoderParam holds this minus the WDP quality the user sees.
constexpr int32_t kWdpQualityMirror = 101;

// Checks radio `index` of a group and clears the others; -1 clears them all, which
// auto-exclusive radios would otherwise refuse.
template <std::size_t N>
void CheckOnly(QRadioButton* const (&radios)[N], int index) {
    for (std::size_t i = 0; i < N; ++i) {
        radios[i]->setAutoExclusive(false);
        radios[i]->setChecked(static_cast<int>(i) == index);
        radios[i]->setAutoExclusive(true);
    }
}

void Show(std::initializer_list<QWidget*> widgets, bool shown) {
    for (QWidget* w : widgets) w->setVisible(shown);
}

void Enable(std::initializer_list<QWidget*> widgets, bool enabled) {
    for (QWidget* w : widgets) w->setEnabled(enabled);
}

}  // namespace

CDialogPhotoOptions::CDialogPhotoOptions(SettingsStore& store, QWidget* parent) : QDialog(parent), store_(store) {
    setObjectName(QStringLiteral("143"));
    setWindowTitle(QStringLiteral("Photo Output Options"));
    BuildControls();
    ConnectHandlers();
}

void CDialogPhotoOptions::BuildControls() {
    const DialogUnits du(this);
    auto label = [this](const char* text, ControlId id) { return WithId(new QLabel(QString::fromUtf8(text), this), id); };
    auto edit = [this, &du](ControlId id, int widthUnits) {
        auto* e = WithId(new QLineEdit(this), id);
        e->setFixedWidth(du.X(widthUnits));
        return e;
    };

    auto* formatLabel = label("Output Format:", IDC_FORMAT_LABEL);
    format_ = WithId(new QComboBox(this), IDC_FORMAT);
    for (const char* text : kFormatLabels) format_->addItem(QString::fromUtf8(text));
    format_->setMinimumWidth(du.X(123));

    auto* sizeGroup = WithId(new QGroupBox(QStringLiteral("Output Size"), this), IDC_SIZE_GROUP);
    sizeOriginal_ = WithId(new QRadioButton(QStringLiteral("Original size"), sizeGroup), IDC_SIZE_ORIGINAL);
    sizeCustom_ = WithId(new QRadioButton(sizeGroup), IDC_SIZE_CUSTOM);
    sizeStretch_ = WithId(new QRadioButton(QStringLiteral("Stretch:"), sizeGroup), IDC_SIZE_STRETCH);
    widthLabel_ = label("Output Width:", IDC_WIDTH_LABEL);
    heightLabel_ = label("Output Height:", IDC_HEIGHT_LABEL);
    width_ = edit(IDC_WIDTH, 40);
    height_ = edit(IDC_HEIGHT, 40);
    keepWidth_ = WithId(new QCheckBox(QStringLiteral("Keep aspect ratio with width"), this), IDC_KEEP_ASPECT_WIDTH);
    keepHeight_ = WithId(new QCheckBox(QStringLiteral("Keep aspect ratio with Height"), this), IDC_KEEP_ASPECT_HEIGHT);
    stretchHLabel_ = label("Horizontal:", IDC_STRETCH_H_LABEL);
    stretchVLabel_ = label("Vertical:", IDC_STRETCH_V_LABEL);
    stretchH_ = edit(IDC_STRETCH_H, 30);
    stretchV_ = edit(IDC_STRETCH_V, 30);
    sizeLongEdge_ = WithId(new QRadioButton(QStringLiteral("Long edge:"), sizeGroup), IDC_SIZE_LONG_EDGE);
    longEdge_ = edit(IDC_LONG_EDGE, 40);
    longEdgeUnit_ = label("pixels", IDC_LONG_EDGE_UNIT);
    sizeFit_ = WithId(new QRadioButton(QStringLiteral("Fit in box:"), sizeGroup), IDC_SIZE_FIT);
    boxWidth_ = edit(IDC_BOX_WIDTH, 40);
    boxBy_ = label("\u00D7", IDC_BOX_BY_LABEL);
    boxHeight_ = edit(IDC_BOX_HEIGHT, 40);
    shrinkOnly_ = WithId(new QCheckBox(QStringLiteral("Shrink only (never enlarge)"), sizeGroup), IDC_SHRINK_ONLY);
    longEdge_->setToolTip(QStringLiteral("Pixels on the longer side; the other side keeps the proportions"));
    boxWidth_->setToolTip(QStringLiteral("Box width: the largest size that fits, in proportion"));
    boxHeight_->setToolTip(QStringLiteral("Box height: the largest size that fits, in proportion"));

    // Rows of the size group: original; width (radio 1073 stands between the width
    // and height rows); height; stretch.
    auto* sizeGrid = new QGridLayout(sizeGroup);
    sizeGrid->addWidget(sizeOriginal_, 0, 0, 1, 5);
    sizeGrid->addWidget(sizeCustom_, 1, 0, 2, 1, Qt::AlignVCenter);
    sizeGrid->addWidget(widthLabel_, 1, 1);
    sizeGrid->addWidget(width_, 1, 2);
    sizeGrid->addWidget(keepWidth_, 1, 3);
    sizeGrid->addWidget(heightLabel_, 2, 1);
    sizeGrid->addWidget(height_, 2, 2);
    sizeGrid->addWidget(keepHeight_, 2, 3);
    auto* stretchRow = new QHBoxLayout;
    stretchRow->addWidget(sizeStretch_);
    stretchRow->addSpacing(du.X(8));
    stretchRow->addWidget(stretchHLabel_);
    stretchRow->addWidget(stretchH_);
    stretchRow->addSpacing(du.X(20));
    stretchRow->addWidget(stretchVLabel_);
    stretchRow->addWidget(stretchV_);
    stretchRow->addStretch(1);
    sizeGrid->addLayout(stretchRow, 3, 0, 1, 5);
    auto* longEdgeRow = new QHBoxLayout;
    longEdgeRow->addWidget(sizeLongEdge_);
    longEdgeRow->addSpacing(du.X(8));
    longEdgeRow->addWidget(longEdge_);
    longEdgeRow->addWidget(longEdgeUnit_);
    longEdgeRow->addSpacing(du.X(20));
    longEdgeRow->addWidget(sizeFit_);
    longEdgeRow->addSpacing(du.X(8));
    longEdgeRow->addWidget(boxWidth_);
    longEdgeRow->addWidget(boxBy_);
    longEdgeRow->addWidget(boxHeight_);
    longEdgeRow->addStretch(1);
    sizeGrid->addLayout(longEdgeRow, 4, 0, 1, 5);
    sizeGrid->addWidget(shrinkOnly_, 5, 0, 1, 5);
    sizeGrid->setColumnStretch(4, 1);
    sizeGrid->setHorizontalSpacing(du.X(6));

    pixelLabel_ = label("Pixel format:", IDC_PIXEL_FORMAT_LABEL);
    pixelFormat_ = WithId(new QComboBox(this), IDC_PIXEL_FORMAT);
    for (const char* text : kPixelFormatLabels) pixelFormat_->addItem(QString::fromUtf8(text));
    pixelFormat_->setMinimumWidth(du.X(94));
    pixelText_ = label("Static", IDC_PIXEL_FORMAT_TEXT);
    pixelText_->setWordWrap(true);
    pixelText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pixelText_->setFixedWidth(du.X(61));
    pixelText_->setMinimumHeight(du.Y(98));
    qualityLabel_ = label("Quality Control:", IDC_QUALITY_LABEL);
    jpegQuality_ = edit(IDC_JPEG_QUALITY, 40);
    wdpQuality_ = edit(IDC_WDP_QUALITY, 40);
    webpQuality_ = edit(IDC_WEBP_QUALITY, 40);
    avifQuality_ = edit(IDC_AVIF_QUALITY, 40);
    jxlQuality_ = edit(IDC_JXL_QUALITY, 40);
    webpQuality_->setToolTip(QStringLiteral("100 is lossless"));
    jxlQuality_->setToolTip(QStringLiteral("100 is lossless"));
    qualityRange_ = label("(Min 1, Max 100)", IDC_QUALITY_RANGE);

    auto* rotateGroup = WithId(new QGroupBox(QStringLiteral("Rotate by angle"), this), IDC_ROTATE_GROUP);
    auto* rotateColumn = new QVBoxLayout(rotateGroup);
    const ControlId rotateIds[] = {IDC_ROTATE_0, IDC_ROTATE_90, IDC_ROTATE_180, IDC_ROTATE_270};
    for (int i = 0; i < 4; ++i) {
        rotate_[i] = WithId(new QRadioButton(QString::number(kRotations[i]), rotateGroup), rotateIds[i]);
        rotateColumn->addWidget(rotate_[i]);
    }
    auto* flipGroup = WithId(new QGroupBox(QStringLiteral("Flip"), this), IDC_FLIP_GROUP);
    auto* flipColumn = new QVBoxLayout(flipGroup);
    const ControlId flipIds[] = {IDC_FLIP_NONE, IDC_FLIP_HORIZONTAL, IDC_FLIP_VERTICAL};
    const char* flipTexts[] = {"No flip", "Flip horizontal", "Flip vertical"};
    for (int i = 0; i < 3; ++i) {
        flip_[i] = WithId(new QRadioButton(QString::fromUtf8(flipTexts[i]), flipGroup), flipIds[i]);
        flipColumn->addWidget(flip_[i]);
    }

    auto* ok = WithId(new QPushButton(QStringLiteral("OK"), this), IDOK);
    auto* cancel = WithId(new QPushButton(QStringLiteral("Cancel"), this), IDCANCEL);
    // OK is the default; a focused button takes Return for itself (Return on a focused
    // Cancel cancels), and OK is the default again once the focus leaves it.
    ok->setDefault(true);
    ok->setAutoDefault(true);
    cancel->setAutoDefault(true);
    ok->setMinimumWidth(du.X(50));
    cancel->setMinimumWidth(du.X(50));
    connect(ok, &QPushButton::clicked, this, &CDialogPhotoOptions::accept);
    connect(cancel, &QPushButton::clicked, this, &CDialogPhotoOptions::reject);

    // Columns of the dialog: labels and the rotate group; lists, edits and the flip
    // group; the pixel-format description.
    auto* grid = new QGridLayout(this);
    grid->addWidget(formatLabel, 0, 0);
    grid->addWidget(format_, 0, 1, Qt::AlignLeft);
    grid->addWidget(sizeGroup, 1, 0, 1, 3);
    // The quality controls lie on top of the pixel-format controls; the format decides
    // which are visible, so both share the same cells.
    grid->addWidget(pixelLabel_, 2, 0);
    grid->addWidget(qualityLabel_, 2, 0);
    auto* valueRow = new QHBoxLayout;
    valueRow->addWidget(pixelFormat_);
    valueRow->addWidget(jpegQuality_);
    valueRow->addWidget(wdpQuality_);
    valueRow->addWidget(webpQuality_);
    valueRow->addWidget(avifQuality_);
    valueRow->addWidget(jxlQuality_);
    valueRow->addWidget(qualityRange_);
    valueRow->addStretch(1);
    grid->addLayout(valueRow, 2, 1);
    grid->setRowMinimumHeight(2, du.Y(14));
    grid->addWidget(pixelText_, 2, 2, 2, 1);
    grid->addWidget(rotateGroup, 3, 0, Qt::AlignTop);
    grid->addWidget(flipGroup, 3, 1, Qt::AlignTop | Qt::AlignLeft);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addStretch(2);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    grid->addLayout(buttons, 4, 0, 1, 3);
    grid->setColumnStretch(1, 1);
}

void CDialogPhotoOptions::ConnectHandlers() {
    connect(format_, &QComboBox::activated, this, [this](int index) {
        nOuptputFormat = index;
        UpdateFormatView(nOuptputFormat);
    });
    connect(pixelFormat_, &QComboBox::activated, this, [this] { UpdatePixelFormatView(); });
    for (int i = 0; i < 4; ++i)
        connect(rotate_[i], &QRadioButton::clicked, this, [this, i] { nRotateAngel = kRotations[i]; });
    for (int i = 0; i < 3; ++i) connect(flip_[i], &QRadioButton::clicked, this, [this, i] { nFlipType = i; });
    connect(shrinkOnly_, &QCheckBox::clicked, this, [this](bool checked) { nShrinkOnly = checked ? 1 : 0; });
    const std::array sizeRadios = {sizeOriginal_, sizeCustom_, sizeStretch_, sizeLongEdge_, sizeFit_};
    for (int i = 0; i < static_cast<int>(sizeRadios.size()); ++i) {
        connect(sizeRadios[i], &QRadioButton::clicked, this, [this, i] {
            nOuputSizeType = i;
            UpdateSizeTypeView(nOuputSizeType);
        });
    }
    connect(keepWidth_, &QCheckBox::clicked, this, &CDialogPhotoOptions::OnKeepAspectWidthClicked);
    connect(keepHeight_, &QCheckBox::clicked, this, &CDialogPhotoOptions::OnKeepAspectHeightClicked);
}

void CDialogPhotoOptions::FromOutputSettings(const OutputSettings& s) {
    nOuputSizeType = s.nOuputSizeType;
    nOutputWidth = s.nOutputWidth;
    nOutputHeight = s.nOutputHeight;
    nOuptputFormat = s.nOuptputFormat;
    iComboPixelFormat = s.iComboPixelFormat;
    nCurrentJpegQuality = s.nCurrentJpegQuality;
    nKeepAspectRatio = s.nKeepAspectRatio;
    dHorizontalStretch = s.dHorizontalStretch;
    dVerticalStretch = s.dVerticalStretch;
    nRotateAngel = s.nRotateAngel;
    nFlipType = s.nFlipType;
    nWdpQuality = kWdpQualityMirror - s.nWdpEncoderParam;
    nWebpQuality = s.nWebpQuality;
    nAvifQuality = s.nAvifQuality;
    nJxlQuality = s.nJxlQuality;
    nLongEdge = s.nLongEdge;
    nBoxWidth = s.nBoxWidth;
    nBoxHeight = s.nBoxHeight;
    nShrinkOnly = s.nShrinkOnly;
}

OutputSettings CDialogPhotoOptions::ToOutputSettings() const {
    OutputSettings s;
    s.nOuputSizeType = nOuputSizeType;
    s.nOutputWidth = nOutputWidth;
    s.nOutputHeight = nOutputHeight;
    s.nOuptputFormat = nOuptputFormat;
    s.iComboPixelFormat = iComboPixelFormat;
    s.nCurrentJpegQuality = nCurrentJpegQuality;
    s.nKeepAspectRatio = nKeepAspectRatio;
    s.dHorizontalStretch = dHorizontalStretch;
    s.dVerticalStretch = dVerticalStretch;
    s.nRotateAngel = nRotateAngel;
    s.nFlipType = nFlipType;
    s.nWdpEncoderParam = kWdpQualityMirror - nWdpQuality;
    s.nWebpQuality = nWebpQuality;
    s.nAvifQuality = nAvifQuality;
    s.nJxlQuality = nJxlQuality;
    s.nLongEdge = nLongEdge;
    s.nBoxWidth = nBoxWidth;
    s.nBoxHeight = nBoxHeight;
    s.nShrinkOnly = nShrinkOnly;
    return s;
}

int CDialogPhotoOptions::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CDialogPhotoOptions::OnInitDialog() {
    Exchange(false);
    nCurrentJpegQuality = store_.GetProfileInt(kSection, kKeyJpegQuality, kDefaultJpegQuality);
    nWdpQuality = store_.GetProfileInt(kSection, kKeyWdpQuality, kDefaultWdpQuality);
    nWebpQuality = store_.GetProfileInt(kSection, kKeyWebpQuality, kDefaultSettings.nWebpQuality);
    nAvifQuality = store_.GetProfileInt(kSection, kKeyAvifQuality, kDefaultSettings.nAvifQuality);
    nJxlQuality = store_.GetProfileInt(kSection, kKeyJxlQuality, kDefaultSettings.nJxlQuality);

    int rotateIndex = -1;
    for (int i = 0; i < 4; ++i)
        if (nRotateAngel == kRotations[i]) rotateIndex = i;
    CheckOnly(rotate_, rotateIndex);
    if (rotateIndex < 0) RunMessageBox(this, "Unknown rotate angle!", "Error");

    const bool knownFlip = nFlipType >= 0 && nFlipType <= 2;
    CheckOnly(flip_, knownFlip ? nFlipType : -1);
    if (!knownFlip) RunMessageBox(this, "Unknown flip type!", "Error");

    pixelFormat_->setCurrentIndex(iComboPixelFormat);
    UpdatePixelFormatView();
    UpdateSizeTypeView(nOuputSizeType);
    UpdateKeepAspectView();
    shrinkOnly_->setChecked(nShrinkOnly != 0);
    format_->setCurrentIndex(nOuptputFormat);
    UpdateFormatView(nOuptputFormat);
    Exchange(false);
}

bool CDialogPhotoOptions::Exchange(bool reading) {
    DataExchange dx(this, reading ? ExchangeDirection::ToFields : ExchangeDirection::ToControls, AppTitle());
    dx.Integer(jpegQuality_, nCurrentJpegQuality);
    dx.IntegerRange(nCurrentJpegQuality, kQualityMin, kQualityMax);
    dx.Integer(width_, nOutputWidth);
    dx.Integer(height_, nOutputHeight);
    dx.Number(stretchH_, dHorizontalStretch);
    dx.Number(stretchV_, dVerticalStretch);
    dx.NumberRange(dHorizontalStretch, kStretchMin, kStretchMax);
    dx.NumberRange(dVerticalStretch, kStretchMin, kStretchMax);
    dx.Integer(wdpQuality_, nWdpQuality);
    dx.IntegerRange(nWdpQuality, kQualityMin, kQualityMax);
    dx.Integer(webpQuality_, nWebpQuality);
    dx.IntegerRange(nWebpQuality, kQualityMin, kQualityMax);
    dx.Integer(avifQuality_, nAvifQuality);
    dx.IntegerRange(nAvifQuality, kQualityMin, kQualityMax);
    dx.Integer(jxlQuality_, nJxlQuality);
    dx.IntegerRange(nJxlQuality, kQualityMin, kQualityMax);
    dx.Integer(longEdge_, nLongEdge);
    dx.IntegerRange(nLongEdge, kSizeMin, kSizeMax);
    dx.Integer(boxWidth_, nBoxWidth);
    dx.IntegerRange(nBoxWidth, kSizeMin, kSizeMax);
    dx.Integer(boxHeight_, nBoxHeight);
    dx.IntegerRange(nBoxHeight, kSizeMin, kSizeMax);
    return dx.Ok();
}

void CDialogPhotoOptions::accept() {
    // The choices are stored even when a field is refused: the next opening shows
    // the stored qualities again, and OK refuses them again.
    const bool valid = Exchange(true);
    nOuptputFormat = format_->currentIndex();
    store_.WriteProfileInt(kSection, kKeyFormat, nOuptputFormat);
    store_.WriteProfileInt(kSection, kKeyJpegQuality, nCurrentJpegQuality);
    store_.WriteProfileInt(kSection, kKeyWdpQuality, nWdpQuality);
    store_.WriteProfileInt(kSection, kKeyWebpQuality, nWebpQuality);
    store_.WriteProfileInt(kSection, kKeyAvifQuality, nAvifQuality);
    store_.WriteProfileInt(kSection, kKeyJxlQuality, nJxlQuality);
    iComboPixelFormat = pixelFormat_->currentIndex();
    store_.WriteProfileInt(kSection, kKeyPixelFormat, iComboPixelFormat);
    if (valid) QDialog::accept();
}

void CDialogPhotoOptions::UpdateFormatView(int32_t format) {
    if (!IsKnownOutputFormat(format)) {
        RunMessageBox(this, "unknown error", "error");
        return;
    }
    const bool bmp = format == FormatBmp;
    const bool jpg = format == FormatJpg;
    const bool wdp = format == FormatWdp;
    const bool webp = format == FormatWebp;
    const bool avif = format == FormatAvif;
    const bool jxl = format == FormatJxl;
    Show({pixelLabel_, pixelFormat_, pixelText_}, bmp);
    Show({qualityLabel_, qualityRange_}, jpg || wdp || webp || avif || jxl);
    jpegQuality_->setVisible(jpg);
    wdpQuality_->setVisible(wdp);
    webpQuality_->setVisible(webp);
    avifQuality_->setVisible(avif);
    jxlQuality_->setVisible(jxl);
}

void CDialogPhotoOptions::UpdateSizeTypeView(int32_t sizeType) {
    if (sizeType < SizeOriginal || sizeType > SizeFitBox) {
        RunMessageBox(this, "Unknown nOuputSizeType type!", "Error");
        return;
    }
    QRadioButton* const sizeRadios[5] = {sizeOriginal_, sizeCustom_, sizeStretch_, sizeLongEdge_, sizeFit_};
    CheckOnly(sizeRadios, sizeType);
    Enable({width_, height_, keepWidth_, keepHeight_}, sizeType == SizeCustom);
    Enable({stretchH_, stretchHLabel_, stretchVLabel_, stretchV_}, sizeType == SizeStretch);
    Enable({longEdge_, longEdgeUnit_}, sizeType == SizeLongEdge);
    Enable({boxWidth_, boxBy_, boxHeight_}, sizeType == SizeFitBox);
}

void CDialogPhotoOptions::ShowWidth(bool shown) { Show({widthLabel_, width_}, shown); }
void CDialogPhotoOptions::ShowHeight(bool shown) { Show({heightLabel_, height_}, shown); }

void CDialogPhotoOptions::UpdateKeepAspectView() {
    if (nKeepAspectRatio < 0 || nKeepAspectRatio > 2) {
        RunMessageBox(this, "Unknown nKeepAspectRatio type!", "Error");
        return;
    }
    // The hidden edit is the dimension the size rules compute.
    keepWidth_->setChecked(nKeepAspectRatio == 1);
    keepHeight_->setChecked(nKeepAspectRatio == 2);
    ShowWidth(nKeepAspectRatio != 2);
    ShowHeight(nKeepAspectRatio != 1);
}

void CDialogPhotoOptions::UpdatePixelFormatView() {
    const int selection = pixelFormat_->currentIndex();
    const int id = selection >= 0 && selection <= 9 ? IDS_PIXEL_FORMAT_FIRST + selection : kDefaultPixelFormatText;
    pixelText_->setText(QString::fromStdString(GetText(id)));
}

void CDialogPhotoOptions::OnKeepAspectWidthClicked(bool checked) {
    nKeepAspectRatio = checked ? 1 : 0;
    ShowWidth(true);
    ShowHeight(!checked);
    keepHeight_->setChecked(false);
}

void CDialogPhotoOptions::OnKeepAspectHeightClicked(bool checked) {
    nKeepAspectRatio = checked ? 2 : 0;
    ShowHeight(true);
    ShowWidth(!checked);
    keepWidth_->setChecked(false);
}

}  // namespace tallowin::ui
