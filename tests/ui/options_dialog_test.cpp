// "Photo Output Options" driven offscreen: what it shows for the settings it is given,
// its format and keep-aspect handlers, its validation with focus, and the store.

#include "comma_locale.h"
#include "control_ids_text.h"
#include "dialog_photo_options.h"
#include "modal_answerer.h"
#include "options_dialog_fixture.h"
#include "settings_store.h"
#include "test_world.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

namespace tallowin::ui {
namespace {

using test::ModalAnswerer;

using OptionsDialogTest = OptionsDialogFixture;

TEST_F(OptionsDialogTest, FormatDecidesWhichControlsShow) {
    OutputSettings settings;
    settings.nOuptputFormat = FormatBmp;
    settings.iComboPixelFormat = 1;
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        EXPECT_TRUE(Shown(d, IDC_PIXEL_FORMAT_LABEL) && Shown(d, IDC_PIXEL_FORMAT) && Shown(d, IDC_PIXEL_FORMAT_TEXT));
        EXPECT_FALSE(Shown(d, IDC_QUALITY_LABEL) || Shown(d, IDC_JPEG_QUALITY) || Shown(d, IDC_WDP_QUALITY) ||
                     Shown(d, IDC_QUALITY_RANGE));
        EXPECT_EQ(Find<QLabel>(d, IDC_PIXEL_FORMAT_TEXT)->text(), "4 bits per pixel, indexed. 16 color.");

        Choose(Find<QComboBox>(d, IDC_FORMAT), FormatWdp);
        EXPECT_FALSE(Shown(d, IDC_PIXEL_FORMAT_LABEL) || Shown(d, IDC_PIXEL_FORMAT) ||
                     Shown(d, IDC_PIXEL_FORMAT_TEXT) || Shown(d, IDC_JPEG_QUALITY));
        EXPECT_TRUE(Shown(d, IDC_QUALITY_LABEL) && Shown(d, IDC_WDP_QUALITY) && Shown(d, IDC_QUALITY_RANGE));

        Choose(Find<QComboBox>(d, IDC_FORMAT), FormatJpg);
        EXPECT_TRUE(Shown(d, IDC_QUALITY_LABEL) && Shown(d, IDC_JPEG_QUALITY) && Shown(d, IDC_QUALITY_RANGE));
        EXPECT_FALSE(Shown(d, IDC_WDP_QUALITY));

        Choose(Find<QComboBox>(d, IDC_FORMAT), FormatPng);
        for (ControlId id : {IDC_PIXEL_FORMAT_LABEL, IDC_PIXEL_FORMAT, IDC_PIXEL_FORMAT_TEXT, IDC_QUALITY_LABEL,
                             IDC_JPEG_QUALITY, IDC_WDP_QUALITY, IDC_QUALITY_RANGE})
            EXPECT_FALSE(Shown(d, id)) << id;

        Choose(Find<QComboBox>(d, IDC_PIXEL_FORMAT), 9);
        EXPECT_EQ(Find<QLabel>(d, IDC_PIXEL_FORMAT_TEXT)->text().left(24), "64 bits per pixel; 16 bi");
        Find<QPushButton>(d, IDCANCEL)->click();
    });
    EXPECT_EQ(dialog.nOuptputFormat, FormatPng);
}

// The formats after WDP: each shows the quality label and range with its own box only.
TEST_F(OptionsDialogTest, NewerFormatsShowTheirOwnQualityBox) {
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, OutputSettings{}, [&](QWidget* d) {
        auto* format = Find<QComboBox>(d, IDC_FORMAT);
        ASSERT_EQ(format->count(), 9);
        EXPECT_EQ(format->itemText(FormatWebp), "WEBP");
        EXPECT_EQ(format->itemText(FormatAvif), "AVIF");
        EXPECT_EQ(format->itemText(FormatJxl), "JXL");
        const std::pair<int, ControlId> boxes[] = {
            {FormatJpg, IDC_JPEG_QUALITY},  {FormatWdp, IDC_WDP_QUALITY}, {FormatWebp, IDC_WEBP_QUALITY},
            {FormatAvif, IDC_AVIF_QUALITY}, {FormatJxl, IDC_JXL_QUALITY},
        };
        for (const auto& [chosen, own] : boxes) {
            Choose(format, chosen);
            EXPECT_TRUE(Shown(d, IDC_QUALITY_LABEL) && Shown(d, IDC_QUALITY_RANGE)) << chosen;
            EXPECT_FALSE(Shown(d, IDC_PIXEL_FORMAT) || Shown(d, IDC_PIXEL_FORMAT_TEXT)) << chosen;
            for (const auto& [other, box] : boxes) EXPECT_EQ(Shown(d, box), box == own) << chosen << " " << box;
        }
        Choose(format, FormatPng);
        for (ControlId id : {IDC_QUALITY_LABEL, IDC_WEBP_QUALITY, IDC_AVIF_QUALITY, IDC_JXL_QUALITY})
            EXPECT_FALSE(Shown(d, id)) << id;
        Choose(format, FormatAvif);
        Find<QPushButton>(d, IDOK)->click();
    });
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(store_->GetProfileInt("Option", "nOuptputFormat", -1), FormatAvif);
}

// Each quality opens as stored (or its default), is written back on OK and reaches
// the settings record in its own field.
TEST_F(OptionsDialogTest, NewerFormatQualitiesAreStoredAndReturned) {
    {
        CDialogPhotoOptions dialog(*store_);
        OutputSettings settings;
        settings.nWebpQuality = settings.nAvifQuality = settings.nJxlQuality = 3;  // the store wins
        Run(dialog, settings, [&](QWidget* d) {
            EXPECT_EQ(Find<QLineEdit>(d, IDC_WEBP_QUALITY)->text(), "80");
            EXPECT_EQ(Find<QLineEdit>(d, IDC_AVIF_QUALITY)->text(), "60");
            EXPECT_EQ(Find<QLineEdit>(d, IDC_JXL_QUALITY)->text(), "90");
            Find<QLineEdit>(d, IDC_WEBP_QUALITY)->setText("100");
            Find<QLineEdit>(d, IDC_AVIF_QUALITY)->setText("1");
            Find<QLineEdit>(d, IDC_JXL_QUALITY)->setText("77");
            Find<QPushButton>(d, IDOK)->click();
        });
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
        const OutputSettings out = dialog.ToOutputSettings();
        EXPECT_EQ(out.nWebpQuality, 100);
        EXPECT_EQ(out.nAvifQuality, 1);
        EXPECT_EQ(out.nJxlQuality, 77);
        EXPECT_EQ(out.nCurrentJpegQuality, 85);  // the first start's, as nothing is stored
        EXPECT_EQ(store_->GetProfileInt("Option", "nWebpQuality", -1), 100);
        EXPECT_EQ(store_->GetProfileInt("Option", "nAvifQuality", -1), 1);
        EXPECT_EQ(store_->GetProfileInt("Option", "nJxlQuality", -1), 77);
    }
    CDialogPhotoOptions again(*store_);
    Run(again, OutputSettings{}, [&](QWidget* d) {
        EXPECT_EQ(Find<QLineEdit>(d, IDC_WEBP_QUALITY)->text(), "100");
        EXPECT_EQ(Find<QLineEdit>(d, IDC_AVIF_QUALITY)->text(), "1");
        EXPECT_EQ(Find<QLineEdit>(d, IDC_JXL_QUALITY)->text(), "77");
        Find<QPushButton>(d, IDCANCEL)->click();
    });
}

TEST_F(OptionsDialogTest, SizeTypeAndKeepAspectBoxes) {
    OutputSettings settings;  // custom size, keep the aspect ratio with the width
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        EXPECT_TRUE(Find<QRadioButton>(d, IDC_SIZE_CUSTOM)->isChecked());
        EXPECT_TRUE(Enabled(d, IDC_WIDTH) && Enabled(d, IDC_KEEP_ASPECT_WIDTH) && !Enabled(d, IDC_STRETCH_H) &&
                    !Enabled(d, IDC_STRETCH_H_LABEL));
        EXPECT_TRUE(Find<QCheckBox>(d, IDC_KEEP_ASPECT_WIDTH)->isChecked());
        EXPECT_TRUE(Shown(d, IDC_WIDTH) && Shown(d, IDC_WIDTH_LABEL));
        EXPECT_FALSE(Shown(d, IDC_HEIGHT) || Shown(d, IDC_HEIGHT_LABEL));

        // Checking the height box unchecks the width box and hides the width.
        Find<QCheckBox>(d, IDC_KEEP_ASPECT_HEIGHT)->click();
        EXPECT_FALSE(Find<QCheckBox>(d, IDC_KEEP_ASPECT_WIDTH)->isChecked());
        EXPECT_TRUE(Shown(d, IDC_HEIGHT) && !Shown(d, IDC_WIDTH) && !Shown(d, IDC_WIDTH_LABEL));
        // Unchecking it leaves both unchecked and both dimensions shown.
        Find<QCheckBox>(d, IDC_KEEP_ASPECT_HEIGHT)->click();
        EXPECT_TRUE(Shown(d, IDC_WIDTH) && Shown(d, IDC_HEIGHT));

        Find<QRadioButton>(d, IDC_SIZE_ORIGINAL)->click();
        for (ControlId id : {IDC_WIDTH, IDC_HEIGHT, IDC_KEEP_ASPECT_WIDTH, IDC_KEEP_ASPECT_HEIGHT, IDC_STRETCH_H,
                             IDC_STRETCH_H_LABEL, IDC_STRETCH_V_LABEL, IDC_STRETCH_V})
            EXPECT_FALSE(Enabled(d, id)) << id;
        EXPECT_TRUE(Enabled(d, IDC_WIDTH_LABEL) && Enabled(d, IDC_HEIGHT_LABEL));
        Find<QRadioButton>(d, IDC_SIZE_STRETCH)->click();
        EXPECT_TRUE(Enabled(d, IDC_STRETCH_H) && Enabled(d, IDC_STRETCH_V) && !Enabled(d, IDC_WIDTH));
        Find<QPushButton>(d, IDOK)->click();
    });
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const OutputSettings out = dialog.ToOutputSettings();
    EXPECT_EQ(out.nOuputSizeType, SizeStretch);
    EXPECT_EQ(out.nKeepAspectRatio, 0);
    EXPECT_EQ(out.nWdpEncoderParam, 61);  // the stored-quality default 40, mirrored
}

TEST_F(OptionsDialogTest, UnknownCodesAreReportedAndLeaveNothingChecked) {
    OutputSettings settings;
    settings.nRotateAngel = 45;
    settings.nFlipType = 7;
    settings.nOuputSizeType = 5;  // one past Fit in box
    settings.nKeepAspectRatio = 9;
    settings.nOuptputFormat = 9;  // one past JPEG XL
    settings.iComboPixelFormat = 12;
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        // A pixel format outside the list selects nothing and describes 24 bits RGB.
        EXPECT_EQ(Find<QComboBox>(d, IDC_PIXEL_FORMAT)->currentIndex(), -1);
        EXPECT_EQ(Find<QLabel>(d, IDC_PIXEL_FORMAT_TEXT)->text().left(18), "24 bits per pixel;");
        for (ControlId id : {IDC_ROTATE_0, IDC_ROTATE_90, IDC_ROTATE_180, IDC_ROTATE_270, IDC_FLIP_NONE,
                             IDC_FLIP_HORIZONTAL, IDC_FLIP_VERTICAL})
            EXPECT_FALSE(Find<QRadioButton>(d, id)->isChecked()) << id;
        Find<QPushButton>(d, IDCANCEL)->click();
    });
    const std::vector<std::string> expected = {"Unknown rotate angle!", "Unknown flip type!",
                                               "Unknown nOuputSizeType type!", "Unknown nKeepAspectRatio type!",
                                               "unknown error"};
    EXPECT_EQ(answerer_.Texts(), expected);
    EXPECT_EQ(answerer_.Boxes().back().caption, "error");
    EXPECT_EQ(answerer_.Boxes().front().caption, "Error");
}

TEST_F(OptionsDialogTest, StoredQualitiesReplaceTheCallers) {
    store_->WriteProfileInt("Option", "nCurrentJpegQuality", 80);
    OutputSettings settings;
    settings.nOuptputFormat = FormatJpg;
    settings.nCurrentJpegQuality = 95;
    settings.nWdpEncoderParam = 1;
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        EXPECT_EQ(Find<QLineEdit>(d, IDC_JPEG_QUALITY)->text(), "80");
        EXPECT_EQ(Find<QLineEdit>(d, IDC_WDP_QUALITY)->text(), "40");
        EXPECT_EQ(Find<QLineEdit>(d, IDC_STRETCH_H)->text(), "1");
        Find<QLineEdit>(d, IDC_JPEG_QUALITY)->setText("55");
        Find<QPushButton>(d, IDOK)->click();
    });
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ToOutputSettings().nCurrentJpegQuality, 55);
    EXPECT_EQ(store_->GetProfileInt("Option", "nCurrentJpegQuality", 0), 55);
    EXPECT_EQ(store_->GetProfileInt("Option", "nOuptputFormat", -1), FormatJpg);
    EXPECT_EQ(store_->GetProfileInt("Option", "nWdpQualityControl", 0), 40);
}

// Each refused OK names the first failing field and leaves the focus on the edit
// exchanged last; the store is written all the same.
TEST_F(OptionsDialogTest, RefusedFieldsShowTheirMessageAndTakeTheFocus) {
    struct Case {
        ControlId edit;
        const char* text;
        const char* message;
        int focus;  // 0: the failing edit is disabled and cannot take it
        int format;
        ControlId sizeRadio;
    };
    const char* const range = "Enter a number between 1e-06 and 1000000.";
    const Case cases[] = {
        {IDC_JPEG_QUALITY, "abc", "Enter an integer.", IDC_JPEG_QUALITY, FormatJpg, IDC_SIZE_CUSTOM},
        {IDC_JPEG_QUALITY, "101", "Enter an integer between 1 and 100.", IDC_JPEG_QUALITY, FormatJpg, IDC_SIZE_CUSTOM},
        // A width emptied before "Original size" is chosen still blocks OK.
        {IDC_WIDTH, "", "Enter an integer.", 0, FormatWdp, IDC_SIZE_ORIGINAL},
        {IDC_STRETCH_H, "x", "Enter a number.", IDC_STRETCH_H, FormatWdp, IDC_SIZE_STRETCH},
        {IDC_STRETCH_H, "0", range, IDC_STRETCH_V, FormatWdp, IDC_SIZE_STRETCH},
        {IDC_STRETCH_V, "2000000", range, IDC_STRETCH_V, FormatWdp, IDC_SIZE_STRETCH},
        {IDC_WDP_QUALITY, "0", "Enter an integer between 1 and 100.", IDC_WDP_QUALITY, FormatWdp, IDC_SIZE_STRETCH},
        {IDC_WEBP_QUALITY, "0", "Enter an integer between 1 and 100.", IDC_WEBP_QUALITY, FormatWebp, IDC_SIZE_CUSTOM},
        {IDC_AVIF_QUALITY, "101", "Enter an integer between 1 and 100.", IDC_AVIF_QUALITY, FormatAvif,
         IDC_SIZE_CUSTOM},
        {IDC_JXL_QUALITY, "x", "Enter an integer.", IDC_JXL_QUALITY, FormatJxl, IDC_SIZE_CUSTOM},
    };
    for (const Case& c : cases) {
        answerer_.ClearBoxes();
        // A refused quality was stored and would come back first: start from valid ones.
        store_->WriteProfileInt("Option", "nCurrentJpegQuality", 80);
        store_->WriteProfileInt("Option", "nWdpQualityControl", 40);
        for (const char* key : {"nWebpQuality", "nAvifQuality", "nJxlQuality"}) store_->WriteProfileInt("Option", key, 50);
        CDialogPhotoOptions dialog(*store_);
        int focused = 0;
        OutputSettings settings;
        settings.nOuptputFormat = c.format;
        Run(dialog, settings, [&](QWidget* d) {
            Find<QLineEdit>(d, c.edit)->setText(QString::fromUtf8(c.text));
            Find<QRadioButton>(d, c.sizeRadio)->click();
            Find<QPushButton>(d, IDOK)->click();
            EXPECT_TRUE(d->isVisible()) << c.text;
            if (QWidget* f = d->focusWidget()) focused = f->objectName().toInt();
            Find<QPushButton>(d, IDCANCEL)->click();
        });
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{c.message}) << c.edit << " " << c.text;
        if (c.focus != 0) {
            EXPECT_EQ(focused, c.focus) << c.edit << " " << c.text;
        }
    }
    // The last refused OK still stored what the fields held (a quality that is not a
    // number leaves the stored one as it was).
    EXPECT_EQ(store_->GetProfileInt("Option", "nWdpQualityControl", -1), 40);
    EXPECT_EQ(store_->GetProfileInt("Option", "nJxlQuality", -1), 50);
}

TEST_F(OptionsDialogTest, BoundaryStretchFactorsAreAccepted) {
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, OutputSettings{}, [&](QWidget* d) {
        Find<QLineEdit>(d, IDC_STRETCH_H)->setText("0.000001");
        Find<QLineEdit>(d, IDC_STRETCH_V)->setText("1000000");
        Find<QPushButton>(d, IDOK)->click();
    });
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(answerer_.Boxes().empty());
    EXPECT_EQ(dialog.dHorizontalStretch, 0.000001);
    EXPECT_EQ(dialog.dVerticalStretch, 1000000.0);
}

// Return on a focused Cancel cancels (nothing is stored); Return elsewhere is OK.
TEST_F(OptionsDialogTest, ReturnPressesTheFocusedButtonAndOtherwiseOk) {
    {
        CDialogPhotoOptions dialog(*store_);
        Run(dialog, OutputSettings{}, [&](QWidget* d) {
            QTest::keyClick(Find<QPushButton>(d, IDCANCEL), Qt::Key_Return);
            if (d->isVisible()) Find<QPushButton>(d, IDCANCEL)->click();
        });
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(store_->GetProfileInt("Option", "nOuptputFormat", -1), -1);
    }
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, OutputSettings{}, [&](QWidget* d) {
        Find<QLineEdit>(d, IDC_WIDTH)->setText("640");
        QTest::keyClick(Find<QLineEdit>(d, IDC_WIDTH), Qt::Key_Return);
        if (d->isVisible()) Find<QPushButton>(d, IDCANCEL)->click();
    });
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.nOutputWidth, 640);
}

TEST_F(OptionsDialogTest, StretchFactorsUseThePointUnderADecimalCommaLocale) {
    const test::CommaLocale comma(Root().string());
    if (!test::CommaLocale::Active()) GTEST_SKIP() << "no decimal-comma locale can be made here";
    OutputSettings settings;
    settings.nOuputSizeType = SizeStretch;
    settings.dHorizontalStretch = 1.5;
    settings.dVerticalStretch = 0.25;
    CDialogPhotoOptions dialog(*store_);
    QString shown;
    Run(dialog, settings, [&](QWidget* d) {
        shown = Find<QLineEdit>(d, IDC_STRETCH_H)->text();
        // What the dialog shows, it takes back.
        Find<QPushButton>(d, IDOK)->click();
        if (d->isVisible()) Find<QPushButton>(d, IDCANCEL)->click();
    });
    EXPECT_EQ(shown, "1.5");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.dHorizontalStretch, 1.5);
    EXPECT_EQ(dialog.dVerticalStretch, 0.25);
    EXPECT_TRUE(answerer_.Boxes().empty());

    // A comma is no decimal point, in any locale.
    CDialogPhotoOptions again(*store_);
    Run(again, settings, [&](QWidget* d) {
        Find<QLineEdit>(d, IDC_STRETCH_V)->setText("2,5");
        Find<QPushButton>(d, IDOK)->click();
        Find<QPushButton>(d, IDCANCEL)->click();
    });
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Enter a number."});
}

}  // namespace
}  // namespace tallowin::ui
