// Offscreen: the size types Long edge and Fit in box and the "Shrink only" box of
// "Photo Output Options", and the window's overwrite question with its five buttons.

#include "control_ids_text.h"
#include "dialog_photo_options.h"
#include "modal_answerer.h"
#include "options_dialog_fixture.h"
#include "settings_store.h"
#include "test_world.h"
#include "widget_window_port.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace tallowin::ui {
namespace {

using test::ModalAnswerer;

using SizeRulesDialogTest = OptionsDialogFixture;

TEST_F(SizeRulesDialogTest, LongEdgeAndFitEnableTheirOwnBoxesAndComeBack) {
    OutputSettings settings;
    settings.nOuputSizeType = SizeLongEdge;
    settings.nLongEdge = 1600;
    settings.nBoxWidth = 800;
    settings.nBoxHeight = 600;
    settings.nShrinkOnly = 1;
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        EXPECT_TRUE(Find<QRadioButton>(d, IDC_SIZE_LONG_EDGE)->isChecked());
        EXPECT_FALSE(Find<QRadioButton>(d, IDC_SIZE_CUSTOM)->isChecked());
        EXPECT_EQ(Find<QLineEdit>(d, IDC_LONG_EDGE)->text(), "1600");
        EXPECT_EQ(Find<QLineEdit>(d, IDC_BOX_WIDTH)->text(), "800");
        EXPECT_EQ(Find<QLineEdit>(d, IDC_BOX_HEIGHT)->text(), "600");
        EXPECT_TRUE(Find<QCheckBox>(d, IDC_SHRINK_ONLY)->isChecked());
        EXPECT_TRUE(Enabled(d, IDC_LONG_EDGE) && !Enabled(d, IDC_BOX_WIDTH) && !Enabled(d, IDC_WIDTH) &&
                    !Enabled(d, IDC_STRETCH_H));

        Find<QRadioButton>(d, IDC_SIZE_FIT)->click();
        EXPECT_TRUE(Enabled(d, IDC_BOX_WIDTH) && Enabled(d, IDC_BOX_HEIGHT) && !Enabled(d, IDC_LONG_EDGE));
        EXPECT_FALSE(Find<QRadioButton>(d, IDC_SIZE_LONG_EDGE)->isChecked());
        Find<QLineEdit>(d, IDC_BOX_WIDTH)->setText("1920");
        Find<QLineEdit>(d, IDC_BOX_HEIGHT)->setText("1080");
        Find<QCheckBox>(d, IDC_SHRINK_ONLY)->click();
        EXPECT_TRUE(Enabled(d, IDC_SHRINK_ONLY));
        Find<QPushButton>(d, IDOK)->click();
    });
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const OutputSettings out = dialog.ToOutputSettings();
    EXPECT_EQ(out.nOuputSizeType, SizeFitBox);
    EXPECT_EQ(out.nBoxWidth, 1920);
    EXPECT_EQ(out.nBoxHeight, 1080);
    EXPECT_EQ(out.nLongEdge, 1600);
    EXPECT_EQ(out.nShrinkOnly, 0);
}

TEST_F(SizeRulesDialogTest, ShrinkOnlyGoesWithEverySizeType) {
    OutputSettings settings;  // custom width
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        EXPECT_FALSE(Find<QCheckBox>(d, IDC_SHRINK_ONLY)->isChecked());
        Find<QCheckBox>(d, IDC_SHRINK_ONLY)->click();
        Find<QRadioButton>(d, IDC_SIZE_LONG_EDGE)->click();
        Find<QRadioButton>(d, IDC_SIZE_ORIGINAL)->click();
        EXPECT_TRUE(Find<QCheckBox>(d, IDC_SHRINK_ONLY)->isChecked());
        Find<QPushButton>(d, IDOK)->click();
    });
    EXPECT_EQ(dialog.ToOutputSettings().nOuputSizeType, SizeOriginal);
    EXPECT_EQ(dialog.ToOutputSettings().nShrinkOnly, 1);
}

TEST_F(SizeRulesDialogTest, AnEdgeOrBoxBelowOnePixelIsRefusedWithTheFocusOnIt) {
    for (const ControlId id : {IDC_LONG_EDGE, IDC_BOX_WIDTH, IDC_BOX_HEIGHT}) {
        answerer_.ClearBoxes();
        OutputSettings settings;
        settings.nOuputSizeType = id == IDC_LONG_EDGE ? SizeLongEdge : SizeFitBox;
        CDialogPhotoOptions dialog(*store_);
        int focused = 0;
        Run(dialog, settings, [&](QWidget* d) {
            Find<QLineEdit>(d, id)->setText("0");
            Find<QPushButton>(d, IDOK)->click();
            EXPECT_TRUE(d->isVisible());
            if (QWidget* f = d->focusWidget()) focused = f->objectName().toInt();
            Find<QPushButton>(d, IDCANCEL)->click();
        });
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Enter an integer between 1 and 1000000."}) << id;
        EXPECT_EQ(focused, id);
    }
}

TEST_F(SizeRulesDialogTest, AFirstStartShowsTheJpegQualityOfTheFirstStart) {
    OutputSettings settings = FirstStartOutputSettings();
    CDialogPhotoOptions dialog(*store_);
    Run(dialog, settings, [&](QWidget* d) {
        EXPECT_EQ(Find<QLineEdit>(d, IDC_JPEG_QUALITY)->text(), "85");
        Find<QPushButton>(d, IDOK)->click();
    });
    EXPECT_EQ(dialog.ToOutputSettings().nCurrentJpegQuality, 85);
    EXPECT_EQ(dialog.ToOutputSettings().nOuptputFormat, FormatJpg);
}

// The overwrite question of the window: each of the five buttons, and Escape.
class ReplaceBoxTest : public test::TestWorld {
protected:
    ReplaceChoice AnswerWith(const QString& button) {
        QWidget window;
        WidgetWindowPort port(&window);
        answerer_.SetScript([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return false;
            if (button.isEmpty()) return false;  // dismissed with its escape answer
            EXPECT_TRUE(ModalAnswerer::ClickButton(box, button)) << button.toStdString();
            return true;
        });
        return port.AskReplace("/out/photo.jpg exists. Do you want to replace it?", "Warning");
    }
    ModalAnswerer answerer_;
};

TEST_F(ReplaceBoxTest, FiveButtonsAndEscapeIsNo) {
    EXPECT_EQ(AnswerWith("Yes"), ReplaceChoice::Yes);
    EXPECT_EQ(AnswerWith("No"), ReplaceChoice::No);
    EXPECT_EQ(AnswerWith("Yes to all"), ReplaceChoice::YesToAll);
    EXPECT_EQ(AnswerWith("No to all"), ReplaceChoice::NoToAll);
    EXPECT_EQ(AnswerWith("Keep both"), ReplaceChoice::KeepBoth);
    EXPECT_EQ(AnswerWith({}), ReplaceChoice::No);
    ASSERT_EQ(answerer_.Boxes().size(), 6u);
    EXPECT_EQ(answerer_.Boxes()[0].text, "/out/photo.jpg exists. Do you want to replace it?");
    EXPECT_EQ(answerer_.Boxes()[0].caption, "Warning");
    EXPECT_TRUE(answerer_.Boxes()[0].owned);
    EXPECT_EQ(answerer_.Boxes()[0].icon, static_cast<int>(QMessageBox::Warning));
}

}  // namespace
}  // namespace tallowin::ui
