// "Photo Output Options" driven offscreen: what it shows for the settings it is given,
// its format and keep-aspect handlers, its validation with focus, and the store.

#include "dialog_photo_options.h"
#include "modal_answerer.h"
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

#include <memory>

namespace tallowin::ui {
namespace {

using test::ModalAnswerer;

class OptionsDialogTest : public test::TestWorld {
protected:
    void SetUp() override {
        TestWorld::SetUp();
        store_ = std::make_unique<SettingsStore>();
    }

    template <typename Widget>
    static Widget* Find(QWidget* dialog, int id) {
        auto* widget = dialog->findChild<Widget*>(QString::number(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    static bool Shown(QWidget* dialog, int id) { return !Find<QWidget>(dialog, id)->isHidden(); }
    static bool Enabled(QWidget* dialog, int id) { return Find<QWidget>(dialog, id)->isEnabled(); }
    static void Choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    // Runs the dialog on `settings`; `script` acts on it once it is showing.
    int Run(CDialogPhotoOptions& dialog, const OutputSettings& settings, std::function<void(QWidget*)> script) {
        bool done = false;
        answerer_.SetScript([&](QWidget* modal) {
            if (modal != &dialog) return false;
            if (!done) {
                done = true;
                script(modal);
            }
            return true;
        });
        dialog.FromOutputSettings(settings);
        return dialog.exec();
    }

    std::unique_ptr<SettingsStore> store_;
    ModalAnswerer answerer_;
};

TEST_F(OptionsDialogTest, FormatDecidesWhichControlsShow) {
    OutputSettings settings;
    settings.nOuptputFormat = FormatBmp;
    settings.iComboPixelFormat = 1;
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        EXPECT_TRUE(Shown(d, 1056) && Shown(d, 1057) && Shown(d, 1093));
        EXPECT_FALSE(Shown(d, 1058) || Shown(d, 1059) || Shown(d, 1102) || Shown(d, 1060));
        EXPECT_EQ(Find<QLabel>(d, 1093)->text(), "4 bits per pixel, indexed. 16 color.");

        Choose(Find<QComboBox>(d, 1051), FormatWdp);
        EXPECT_FALSE(Shown(d, 1056) || Shown(d, 1057) || Shown(d, 1093) || Shown(d, 1059));
        EXPECT_TRUE(Shown(d, 1058) && Shown(d, 1102) && Shown(d, 1060));

        Choose(Find<QComboBox>(d, 1051), FormatJpg);
        EXPECT_TRUE(Shown(d, 1058) && Shown(d, 1059) && Shown(d, 1060));
        EXPECT_FALSE(Shown(d, 1102));

        Choose(Find<QComboBox>(d, 1051), FormatPng);
        for (int id : {1056, 1057, 1093, 1058, 1059, 1102, 1060}) EXPECT_FALSE(Shown(d, id)) << id;

        Choose(Find<QComboBox>(d, 1057), 9);
        EXPECT_EQ(Find<QLabel>(d, 1093)->text().left(24), "64 bits per pixel; 16 bi");
        Find<QPushButton>(d, 2)->click();
    });
    EXPECT_EQ(dialog.nOuptputFormat, FormatPng);
}

TEST_F(OptionsDialogTest, SizeTypeAndKeepAspectBoxes) {
    OutputSettings settings;  // custom size, keep the aspect ratio with the width
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        EXPECT_TRUE(Find<QRadioButton>(d, 1073)->isChecked());
        EXPECT_TRUE(Enabled(d, 1054) && Enabled(d, 1070) && !Enabled(d, 1075) && !Enabled(d, 1076));
        EXPECT_TRUE(Find<QCheckBox>(d, 1070)->isChecked());
        EXPECT_TRUE(Shown(d, 1054) && Shown(d, 1052));
        EXPECT_FALSE(Shown(d, 1055) || Shown(d, 1053));

        // Checking the height box unchecks the width box and hides the width.
        Find<QCheckBox>(d, 1071)->click();
        EXPECT_FALSE(Find<QCheckBox>(d, 1070)->isChecked());
        EXPECT_TRUE(Shown(d, 1055) && !Shown(d, 1054) && !Shown(d, 1052));
        // Unchecking it leaves both unchecked and both dimensions shown.
        Find<QCheckBox>(d, 1071)->click();
        EXPECT_TRUE(Shown(d, 1054) && Shown(d, 1055));

        Find<QRadioButton>(d, 1072)->click();
        for (int id : {1054, 1055, 1070, 1071, 1075, 1076, 1077, 1079}) EXPECT_FALSE(Enabled(d, id)) << id;
        EXPECT_TRUE(Enabled(d, 1052) && Enabled(d, 1053));
        Find<QRadioButton>(d, 1074)->click();
        EXPECT_TRUE(Enabled(d, 1075) && Enabled(d, 1079) && !Enabled(d, 1054));
        Find<QPushButton>(d, 1)->click();
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
    settings.nOuputSizeType = 3;
    settings.nKeepAspectRatio = 9;
    settings.nOuptputFormat = 8;
    settings.iComboPixelFormat = 12;
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        // A pixel format outside the list selects nothing and describes 24 bits RGB.
        EXPECT_EQ(Find<QComboBox>(d, 1057)->currentIndex(), -1);
        EXPECT_EQ(Find<QLabel>(d, 1093)->text().left(18), "24 bits per pixel;");
        for (int id : {1062, 1063, 1064, 1065, 1067, 1068, 1069})
            EXPECT_FALSE(Find<QRadioButton>(d, id)->isChecked()) << id;
        Find<QPushButton>(d, 2)->click();
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
        EXPECT_EQ(Find<QLineEdit>(d, 1059)->text(), "80");
        EXPECT_EQ(Find<QLineEdit>(d, 1102)->text(), "40");
        EXPECT_EQ(Find<QLineEdit>(d, 1075)->text(), "1");
        Find<QLineEdit>(d, 1059)->setText("55");
        Find<QPushButton>(d, 1)->click();
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
        int edit;
        const char* text;
        const char* message;
        int focus;  // 0: the failing edit is disabled and cannot take it
        int format;
        int sizeRadio;
    };
    const char* const range = "Enter a number between 1e-06 and 1000000.";
    const Case cases[] = {
        {1059, "abc", "Enter an integer.", 1059, FormatJpg, 1073},
        {1059, "101", "Enter an integer between 1 and 100.", 1059, FormatJpg, 1073},
        // A width emptied before "Original size" is chosen still blocks OK.
        {1054, "", "Enter an integer.", 0, FormatWdp, 1072},
        {1075, "x", "Enter a number.", 1075, FormatWdp, 1074},
        {1075, "0", range, 1079, FormatWdp, 1074},
        {1079, "2000000", range, 1079, FormatWdp, 1074},
        {1102, "0", "Enter an integer between 1 and 100.", 1102, FormatWdp, 1074},
    };
    for (const Case& c : cases) {
        answerer_.ClearBoxes();
        // A refused quality was stored and would come back first: start from valid ones.
        store_->WriteProfileInt("Option", "nCurrentJpegQuality", 80);
        store_->WriteProfileInt("Option", "nWdpQualityControl", 40);
        CDialogPhotoOptions dialog(*store_);
        int focused = 0;
        OutputSettings settings;
        settings.nOuptputFormat = c.format;
        Run(dialog, settings, [&](QWidget* d) {
            Find<QLineEdit>(d, c.edit)->setText(QString::fromUtf8(c.text));
            Find<QRadioButton>(d, c.sizeRadio)->click();
            Find<QPushButton>(d, 1)->click();
            EXPECT_TRUE(d->isVisible()) << c.text;
            if (QWidget* f = d->focusWidget()) focused = f->objectName().toInt();
            Find<QPushButton>(d, 2)->click();
        });
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{c.message}) << c.edit << " " << c.text;
        if (c.focus != 0) {
            EXPECT_EQ(focused, c.focus) << c.edit << " " << c.text;
        }
    }
    // The last refused OK still stored what the fields held.
    EXPECT_EQ(store_->GetProfileInt("Option", "nWdpQualityControl", -1), 0);
}

TEST_F(OptionsDialogTest, BoundaryStretchFactorsAreAccepted) {
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, OutputSettings{}, [&](QWidget* d) {
        Find<QLineEdit>(d, 1075)->setText("0.000001");
        Find<QLineEdit>(d, 1079)->setText("1000000");
        Find<QPushButton>(d, 1)->click();
    });
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(answerer_.Boxes().empty());
    EXPECT_EQ(dialog.dHorizontalStretch, 0.000001);
    EXPECT_EQ(dialog.dVerticalStretch, 1000000.0);
}

}  // namespace
}  // namespace tallowin::ui
