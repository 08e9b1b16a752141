// The window by keyboard: Tab leaves the list in one press, Delete, Ctrl+A and Ctrl+O,
// an access key of its own on every button, the sort arrow, the preview following the
// keyboard in the photo's proportions; Clear and Exit ask once before dropping photos.

#include "button_texts.h"
#include "preview_frame.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>

#include <set>

namespace tallowin::test {
namespace {

class WindowKeyboardTest : public WindowFixture {
protected:
    // The list with the keyboard focus and its first row current and selected.
    void FocusList()
    {
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        List()->setFocus();
        List()->setCurrentCell(0, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == List(); }, 2000));
    }
};

TEST_F(WindowKeyboardTest, TabLeavesTheListInOnePress)
{
    OpenWithPhotos();
    FocusList();
    QTest::keyClick(List(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), List());
    // Arrow keys move inside it.
    FocusList();
    QTest::keyClick(List(), Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), List());
    EXPECT_EQ(window_->SelectedRows(), std::vector<int>{1});
}

TEST_F(WindowKeyboardTest, DeleteCtrlAAndCtrlO)
{
    OpenWithPhotos();
    window_->AddChosenFiles({QString::fromStdString(bmp_)});
    FocusList();
    QTest::keyClick(List(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window_->SelectedRows(), (std::vector<int>{0, 1, 2}));

    window_->SelectRows({1});
    QTest::keyClick(List(), Qt::Key_Delete);
    ASSERT_EQ(List()->rowCount(), 2);
    EXPECT_EQ(Cell(0, 0), "rgb24.bmp");
    EXPECT_EQ(Cell(1, 0), "rgb24.bmp");
    // Nothing selected: the key does nothing and asks nothing.
    window_->SelectRows({});
    QTest::keyClick(List(), Qt::Key_Delete);
    EXPECT_EQ(List()->rowCount(), 2);
    EXPECT_TRUE(answerer_.Boxes().empty());

    // In an edit box Ctrl+A selects its text, not the photos.
    auto* prefix = Control<QLineEdit>(IDC_PREFIX);
    prefix->setFocus();
    QTest::keyClick(prefix, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(prefix->selectedText(), prefix->text());
    EXPECT_TRUE(window_->SelectedRows().empty());

    bool dialogSeen = false;
    answerer_.SetScript([&](QWidget* modal) {
        dialogSeen = dialogSeen || qobject_cast<QFileDialog*>(modal) != nullptr;
        return false;  // cancelled
    });
    QTest::keyClick(List(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(dialogSeen);
}

TEST_F(WindowKeyboardTest, EveryButtonHasAnAccessKeyOfItsOwn)
{
    Open();
    std::set<QChar> keys;
    for (QAbstractButton* button : window_->findChildren<QAbstractButton*>()) {
        if (button->isHidden()) continue;
        const QString text = button->text();
        const qsizetype at = text.indexOf(u'&');
        ASSERT_TRUE(at >= 0 && at + 1 < text.size()) << text.toStdString();
        EXPECT_TRUE(keys.insert(text[at + 1].toLower()).second) << text.toStdString();
    }
    EXPECT_GE(keys.size(), 19u);
    // Alt and the key presses the button.
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    QTest::keyClick(window_.get(), Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_->Model().Settings().notRename; }, 2000));

    EXPECT_EQ(ui::WithMnemonic("Stop", u't'), "S&top");
    EXPECT_EQ(ui::WithMnemonic("Fish & Chips", u'c'), "Fish && &Chips");
    EXPECT_EQ(ui::WithoutMnemonic("Fish && &Chips"), "Fish & Chips");
}

TEST_F(WindowKeyboardTest, TheSortedHeadingShowsItsArrowWhileTheOrderHolds)
{
    OpenWithPhotos();
    QHeaderView* header = List()->horizontalHeader();
    EXPECT_FALSE(header->isSortIndicatorShown());
    emit header->sectionClicked(0);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    emit header->sectionClicked(0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    // A heading that does not sort leaves the arrow where it was.
    emit header->sectionClicked(1);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // Moved out of that order, the list has no sorted heading any more.
    window_->SelectRows({1});
    Control<QPushButton>(IDC_UP)->click();
    EXPECT_FALSE(header->isSortIndicatorShown());
}

TEST_F(WindowKeyboardTest, ThePreviewFollowsTheKeyboardInThePhotosProportions)
{
    Open();
    window_->AddChosenFiles({QString::fromStdString(png_), QString::fromStdString(bmp_)});
    auto* preview = Control<ui::PreviewFrame>(IDC_PREVIEW_FRAME);
    FocusList();
    ASSERT_TRUE(preview->HasImage());
    EXPECT_EQ(preview->Image().size(), QSize(32, 32));
    QTest::keyClick(List(), Qt::Key_Down);
    ASSERT_EQ(preview->Image().size(), QSize(127, 64));
    const QRect drawn = preview->ImageRect();
    ASSERT_FALSE(drawn.isEmpty());
    EXPECT_NEAR(static_cast<double>(drawn.width()) / drawn.height(), 127.0 / 64.0, 0.05);
    EXPECT_TRUE(preview->contentsRect().contains(drawn));

    // A large photo is kept at the frame's size, in its proportions.
    const QImage wide = ui::LoadPreviewImage(bmp_, QSize(50, 50));
    EXPECT_EQ(wide.size(), QSize(50, 25));
}

TEST_F(WindowKeyboardTest, ClearAndExitAskOnceBeforeDroppingPhotos)
{
    OpenWithPhotos();
    AnswerBoxesWith("No");
    Control<QPushButton>(IDC_CLEAR)->click();
    EXPECT_EQ(List()->rowCount(), 2);
    Control<QPushButton>(IDC_EXIT)->click();
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(store_->GetProfileString("Option", "m_batch_renamer", "none"), "none");  // nothing written
    window_->close();
    EXPECT_TRUE(window_->isVisible());
    const std::vector<std::string> asked = {"Remove all 2 photos from the list?",
                                            "The list holds 2 photos. Do you want to exit and drop them?",
                                            "The list holds 2 photos. Do you want to exit and drop them?"};
    EXPECT_EQ(answerer_.Texts(), asked);
    EXPECT_EQ(answerer_.Boxes()[0].caption, "Pictavo");
    EXPECT_EQ(answerer_.Boxes()[0].icon, QMessageBox::Question);

    answerer_.ClearBoxes();
    AnswerBoxesWith("Yes");
    Control<QPushButton>(IDC_CLEAR)->click();
    EXPECT_EQ(List()->rowCount(), 0);
    // An empty list asks nothing.
    Control<QPushButton>(IDC_CLEAR)->click();
    window_->AddChosenFiles({QString::fromStdString(bmp_)});
    Control<QPushButton>(IDC_EXIT)->click();
    EXPECT_FALSE(window_->isVisible());
    const std::vector<std::string> agreed = {"Remove all 2 photos from the list?",
                                             "The list holds 1 photo. Do you want to exit and drop it?"};
    EXPECT_EQ(answerer_.Texts(), agreed);
    EXPECT_EQ(store_->GetProfileString("Option", "m_batch_renamer", "none"), "output.photo");
}

}  // namespace
}  // namespace tallowin::test
