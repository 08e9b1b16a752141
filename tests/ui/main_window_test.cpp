// The "Pictavo" window driven offscreen: its state at start, adding photos through the
// commands' second halves and a drop, Edit on several photos, a conversion run with its
// stop and closing question, Exit refused during a run, settings across two starts.

#include "convert/conversion_run.h"
#include "dialog_photo_options.h"
#include "font_chooser.h"
#include "font_settings.h"
#include "preview_frame.h"
#include "main_window_model.h"
#include "modal_answerer.h"
#include "settings_store.h"
#include "tallowin_dlg.h"
#include "test_world.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <memory>

namespace tallowin::ui {
namespace {

namespace fs = std::filesystem;
using test::ModalAnswerer;

class MainWindowTest : public test::TestWorld {
protected:
    void SetUp() override {
        TestWorld::SetUp();
        store_ = std::make_unique<SettingsStore>();
        fs::create_directories(Path("photos"));
        bmp_ = Path("photos/rgb24.bmp").string();
        png_ = Path("photos/basn2c08.png").string();
        fs::copy_file(test::DataDir() / "bmpsuite/g/rgb24.bmp", bmp_);
        fs::copy_file(test::DataDir() / "pngsuite/basn2c08.png", png_);
    }
    void TearDown() override {
        if (window_) {
            window_->Run().WaitForWorker();
            window_.reset();
        }
        TestWorld::TearDown();
    }

    CTallowinDlg& Open() {
        window_ = std::make_unique<CTallowinDlg>(*store_, test::BinDir().string() + "/");
        window_->show();
        return *window_;
    }
    template <typename Widget = QWidget>
    Widget* Control(int id) {
        auto* widget = window_->findChild<Widget*>(QString::number(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    QTableWidget* List() { return Control<QTableWidget>(1002); }
    QString Cell(int row, int column) { return List()->item(row, column)->text(); }
    void WaitForRunEnd() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window_->Model().workerAlive.load(); }, 20000));
        window_->Run().WaitForWorker();
    }

    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<CTallowinDlg> window_;
    ModalAnswerer answerer_;
    std::string bmp_;
    std::string png_;
};

TEST_F(MainWindowTest, StartsWithAnEmptyListAndDisabledPhotoButtons) {
    Open();
    EXPECT_EQ(window_->windowTitle(), "Pictavo");
    EXPECT_EQ(Control<QLabel>(1041)->text(), "Total Photos:");
    EXPECT_EQ(List()->rowCount(), 0);
    for (int id : {1000, 1009, 1003, 1004, 1005, 1006}) EXPECT_FALSE(Control(id)->isEnabled()) << id;
    for (int id : {1008, 1094, 1024, 1101, 1026, 1085, 1034, 1100, 1037}) EXPECT_TRUE(Control(id)->isEnabled()) << id;
    for (int id : {1030, 1029, 1028, 1031}) EXPECT_TRUE(Control(id)->isHidden()) << id;
    EXPECT_EQ(Control<QPushButton>(1000)->text(), "Convert");

    const char* headings[] = {"File name", "Width * Height", "Time", "Output Width * Height", "Rotate"};
    const int widths[] = {200, 100, 150, 141, 100};
    ASSERT_EQ(List()->columnCount(), 5);
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(List()->horizontalHeaderItem(c)->text(), headings[c]);
        EXPECT_EQ(List()->columnWidth(c), widths[c]);
    }
    EXPECT_TRUE(List()->showGrid());
    EXPECT_EQ(List()->selectionBehavior(), QAbstractItemView::SelectRows);
    // The output folder is the "Pictavo" folder under the pictures folder, with its '/'.
    EXPECT_TRUE(Control<QLineEdit>(1087)->text().endsWith("/Pictavo/"));
    EXPECT_EQ(Control<QLineEdit>(1090)->text(), "output.photo");
    EXPECT_TRUE(answerer_.Boxes().empty()) << answerer_.Boxes().front().text;
}

TEST_F(MainWindowTest, AddedAndDroppedPhotosFillTheList) {
    Open();
    window_->AddChosenFiles({QString::fromStdString(bmp_), QString::fromStdString(png_)});
    ASSERT_EQ(List()->rowCount(), 2);
    EXPECT_EQ(Cell(0, 0), "rgb24.bmp");
    EXPECT_EQ(Cell(0, 1), "127*64");
    EXPECT_EQ(Cell(0, 3), "1024*516");  // 1024 wide, the height following the photo
    EXPECT_EQ(Cell(0, 4), "0");
    EXPECT_EQ(Cell(1, 1), "32*32");
    EXPECT_EQ(List()->item(0, 2)->textAlignment(), Qt::AlignCenter);
    EXPECT_EQ(Control<QLabel>(1041)->text(), "Total photos: 2");
    for (int id : {1000, 1009, 1003, 1004, 1005, 1006}) EXPECT_TRUE(Control(id)->isEnabled()) << id;

    // A drop of a folder, a text file and a photo adds the photo alone.
    const std::string text = WriteFile("notes.txt", "not a photo").string();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Path("photos").string())),
                  QUrl::fromLocalFile(QString::fromStdString(text)), QUrl::fromLocalFile(QString::fromStdString(png_))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    ASSERT_EQ(List()->rowCount(), 3);
    EXPECT_EQ(Cell(2, 0), "basn2c08.png");
    EXPECT_TRUE(answerer_.Boxes().empty());

    // The folder search finds both photos, breadth first.
    window_->SearchFolder(QString::fromStdString(Path("photos").string()));
    EXPECT_EQ(List()->rowCount(), 5);
}

// Add Photos: the file dialog with its title, filters and starting folder; the photo
// chosen in it is added and its folder starts the next dialog.
TEST_F(MainWindowTest, AddPhotosDialogAddsTheChosenFilesAndRemembersTheirFolder) {
    Open();
    QStringList filters;
    QString title;
    QString startFolder;
    int tries = 0;
    answerer_.SetScript([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        // A dialog that refuses the name is cancelled after a few tries.
        if (!dialog || ++tries > 6) return false;
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        startFolder = dialog->directory().absolutePath();
        // What a user types into the name box (the list view fills in the background).
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(bmp_));
        // accept() is protected in QFileDialog: call it through its base.
        static_cast<QDialog*>(dialog)->accept();
        return true;
    });
    Control<QPushButton>(1008)->click();
    EXPECT_EQ(title, "Select Photo Files...");
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(filters[0].startsWith("Photo Files (*.wdp;*.hdp;*.bmp;*.gif;*.png;*.tif;*.jpg;*.jpeg;*.ico;*.exif;"
                                      "*.wmf;*.emf;*.dib) ("));
    EXPECT_TRUE(filters[1].startsWith("Any Files (*.*)"));
    ASSERT_EQ(List()->rowCount(), 1);
    EXPECT_EQ(Cell(0, 0), "rgb24.bmp");
    EXPECT_EQ(store_->GetProfileString("Option", "LastPhotoFolder", ""), Path("photos").string() + "/");

    Control<QPushButton>(1008)->click();
    EXPECT_EQ(startFolder.toStdString(), Path("photos").string());
    EXPECT_EQ(List()->rowCount(), 2);
}

// Options on a list of photos: the dialog's choice becomes current, and "Yes" to the
// question gives it to every photo.
TEST_F(MainWindowTest, OptionsAppliedToAllPhotosOnYes) {
    Open();
    window_->AddChosenFiles({QString::fromStdString(bmp_), QString::fromStdString(png_)});
    answerer_.SetScript([&](QWidget* modal) {
        if (auto* dialog = qobject_cast<CDialogPhotoOptions*>(modal)) {
            dialog->findChild<QRadioButton*>("1065")->click();
            dialog->findChild<QPushButton*>("1")->click();
            return true;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        return box && ModalAnswerer::ClickButton(box, "Yes");
    });
    Control<QPushButton>(1024)->click();
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Do you want to change all output settings of photos?"});
    EXPECT_EQ(window_->Model().m_outputPhotoFormat.nRotateAngel, 270);
    EXPECT_EQ(Cell(0, 4), "270");
    EXPECT_EQ(Cell(1, 4), "270");
}

TEST_F(MainWindowTest, EditOpensOneDialogPerSelectedPhotoAndCancelKeepsOne) {
    Open();
    window_->AddChosenFiles(
        {QString::fromStdString(bmp_), QString::fromStdString(bmp_), QString::fromStdString(bmp_)});
    window_->SelectRows({0, 1, 2});
    int dialogs = 0;
    answerer_.SetScript([&](QWidget* modal) {
        auto* dialog = qobject_cast<CDialogPhotoOptions*>(modal);
        if (!dialog) return false;
        ++dialogs;
        if (dialogs == 2) {
            dialog->findChild<QPushButton*>("2")->click();
        } else {
            dialog->findChild<QLineEdit*>("1054")->setText(dialogs == 1 ? "254" : "508");
            dialog->findChild<QPushButton*>("1")->click();
        }
        return true;
    });
    Control<QPushButton>(1009)->click();
    EXPECT_EQ(dialogs, 3);
    const PhotoList& photos = window_->Model().photos;
    ASSERT_EQ(photos.size(), 3u);
    EXPECT_EQ(photos[0].settings.nOutputWidth, 254);
    EXPECT_EQ(photos[0].settings.nOutputHeight, 128);
    EXPECT_EQ(photos[1].settings.nOutputWidth, 1024);
    EXPECT_EQ(photos[2].settings.nOutputWidth, 508);
    EXPECT_EQ(Cell(2, 3), "508*256");

    // Edit with nothing selected asks for a selection.
    answerer_.SetScript({});
    window_->SelectRows({});
    Control<QPushButton>(1009)->click();
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Please select items!"});
}

TEST_F(MainWindowTest, UpDownAndColumnSortKeepRowsAndSelectionInStep) {
    Open();
    window_->AddChosenFiles({QString::fromStdString(png_), QString::fromStdString(bmp_)});
    window_->SelectRows({1});
    Control<QPushButton>(1003)->click();
    EXPECT_EQ(Cell(0, 0), "rgb24.bmp");
    EXPECT_EQ(window_->SelectedRows(), std::vector<int>{0});
    Control<QPushButton>(1004)->click();
    EXPECT_EQ(Cell(1, 0), "rgb24.bmp");
    EXPECT_EQ(window_->SelectedRows(), std::vector<int>{1});

    emit List()->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(Cell(0, 0), "basn2c08.png");
    emit List()->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(Cell(0, 0), "rgb24.bmp");
    EXPECT_TRUE(window_->SelectedRows().empty());
}

TEST_F(MainWindowTest, AClickPreviewsTheFirstSelectedPhotoUntilItIsDeleted) {
    Open();
    window_->AddChosenFiles({QString::fromStdString(png_), QString::fromStdString(bmp_)});
    auto* preview = Control<PreviewFrame>(1080);
    window_->SelectRows({1});
    emit List()->clicked(List()->model()->index(1, 0));
    ASSERT_TRUE(preview->HasImage());
    // The BMP's top left pixel, stretched into the frame's corner.
    EXPECT_NE(preview->Image().pixel(0, 0), QColor(Qt::white).rgb());

    // A photo that cannot be loaded any more leaves the frame as it was.
    fs::remove(png_);
    window_->SelectRows({0});
    emit List()->clicked(List()->model()->index(0, 0));
    EXPECT_TRUE(preview->HasImage());

    Control<QPushButton>(1005)->click();
    EXPECT_FALSE(preview->HasImage());
    EXPECT_EQ(List()->rowCount(), 1);
    EXPECT_EQ(Cell(0, 0), "rgb24.bmp");
}

// The chooser starts from the current font and colour, so a new face keeps the colour;
// its choice reaches the model, the face-name label and, at Exit, the store.
TEST_F(MainWindowTest, FontChooserKeepsTheColourAndItsChoiceIsStoredAtExit) {
    Open();
    window_->Model().SetStampColour(0x0000FF);  // red
    QFont face(QStringLiteral("DejaVu Serif"));
    face.setPixelSize(40);
    face.setBold(true);
    QColor startColour;
    answerer_.SetScript([&](QWidget* modal) {
        auto* chooser = qobject_cast<FontChooser*>(modal);
        if (!chooser) return false;
        startColour = ColourFromColorRef(chooser->SelectedColour());
        chooser->SetCurrent(face, startColour);
        chooser->accept();
        return true;
    });
    Control<QPushButton>(1085)->click();
    EXPECT_EQ(startColour, QColor(255, 0, 0));
    EXPECT_EQ(window_->Model().StampColour(), 0x0000FFu);
    const LOGFONTA font = window_->Model().StampFont();
    EXPECT_EQ(FaceName(font), "DejaVu Serif");
    EXPECT_EQ(font.lfHeight, -40);
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_EQ(Control<QLabel>(1092)->text(), "DejaVu Serif");

    Control<QPushButton>(1037)->click();
    SettingsStore reread;
    EXPECT_EQ(reread.GetProfileString("CurrentFont", "lfFaceName", ""), "DejaVu Serif");
    EXPECT_EQ(reread.GetProfileInt("CurrentFont", "lfHeight", 0), -40);
    EXPECT_EQ(reread.GetProfileInt("CurrentFont", "nCurrentColor", 0), 0x0000FF);
}

TEST(FontConversion, StoredFontsBecomeQtFontsAndBack) {
    LOGFONTA stored = DefaultStampFont();
    stored.lfHeight = -24;
    stored.lfWeight = 700;
    stored.lfItalic = 1;
    stored.lfUnderline = 1;
    SetFaceName(stored, "DejaVu Sans");
    const QFont font = FontFromLogFont(stored);
    EXPECT_EQ(font.pixelSize(), 24);
    EXPECT_TRUE(font.bold() && font.italic() && font.underline() && !font.strikeOut());
    const LOGFONTA back = LogFontFromFont(font);
    EXPECT_EQ(back.lfHeight, -24);
    EXPECT_EQ(back.lfWeight, 700);
    EXPECT_EQ(back.lfItalic, 1);
    EXPECT_EQ(back.lfUnderline, 1);
    EXPECT_EQ(FaceName(back), "DejaVu Sans");
    // Red lives in the low byte.
    EXPECT_EQ(ColorRefFromColour(QColor(0x12, 0x34, 0x56)), 0x563412u);
    EXPECT_EQ(ColourFromColorRef(0x563412), QColor(0x12, 0x34, 0x56));
}

TEST_F(MainWindowTest, NotRenameDisablesThePrefixControls) {
    Open();
    Control<QCheckBox>(1027)->click();
    for (int id : {1089, 1090, 1091}) EXPECT_FALSE(Control(id)->isEnabled()) << id;
    EXPECT_EQ(window_->Model().notRename, 1);
    Control<QCheckBox>(1027)->click();
    for (int id : {1089, 1090, 1091}) EXPECT_TRUE(Control(id)->isEnabled()) << id;
}

// A run started and stopped at once converts the first photo only; while the worker
// waits on its closing question, Exit is refused; the question is owned by no window.
TEST_F(MainWindowTest, ConvertStopAndExitRefusedWhileTheWorkerLives) {
    Open();
    window_->Model().m_outputPhotoFormat.nOuptputFormat = FormatBmp;
    window_->AddChosenFiles(
        {QString::fromStdString(bmp_), QString::fromStdString(png_), QString::fromStdString(bmp_)});
    window_->Model().OutputFolderChosen(Path("out").string());
    fs::create_directories(Path("out"));
    Control<QCheckBox>(1027)->click();  // keep the photos' own names

    bool exitTried = false;
    std::string doneCaption;
    answerer_.SetScript([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box || !box->text().startsWith("The conversion is done.")) return false;
        if (!exitTried) {
            exitTried = true;
            doneCaption = box->windowTitle().toStdString();
            EXPECT_EQ(Control<QPushButton>(1000)->text(), "Convert");
            // The worker still waits on this box: leaving must be refused.
            Control<QPushButton>(1037)->click();
            EXPECT_TRUE(window_->isVisible());
        }
        return ModalAnswerer::ClickButton(box, "No");
    });
    Control<QPushButton>(1000)->click();
    Control<QPushButton>(1000)->click();  // stop after the photo in hand
    WaitForRunEnd();

    const std::vector<std::string> expected = {"The conversion is done. Do you want to open the output folder?",
                                               "Please stop converting first"};
    EXPECT_EQ(answerer_.Texts(), expected);
    ASSERT_EQ(answerer_.Boxes().size(), 2u);
    EXPECT_FALSE(answerer_.Boxes()[0].owned);
    EXPECT_TRUE(answerer_.Boxes()[1].owned);
    EXPECT_EQ(answerer_.Boxes()[1].caption, "Warning");
    ASSERT_FALSE(doneCaption.empty());
    EXPECT_EQ(doneCaption, window_->Model().runFolder);
    EXPECT_EQ(Control<QPushButton>(1000)->text(), "Convert");
    EXPECT_EQ(Control<QProgressBar>(1095)->value(), 999);
    size_t outputs = 0;
    for (const auto& entry : fs::directory_iterator(doneCaption)) outputs += entry.path().extension() == ".bmp";
    EXPECT_EQ(outputs, 1u);
    // The settings were not written by the refused Exit.
    EXPECT_EQ(store_->GetProfileString("Option", "photo_output_folder", "none"), "none");
}

TEST_F(MainWindowTest, ExitWritesTheSettingsThatTheNextStartReads) {
    Open();
    Control<QLineEdit>(1087)->setText(QString::fromStdString(Path("chosen").string()));
    Control<QLineEdit>(1090)->setText("Trip");
    Control<QLineEdit>(1039)->setText("12");
    // Escape is no way out: only Exit and the close box end the window.
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_TRUE(window_->isVisible());
    Control<QPushButton>(1037)->click();
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(store_->GetProfileString("Option", "photo_output_folder", ""), Path("chosen").string());
    EXPECT_EQ(store_->GetProfileString("Option", "m_batch_renamer", ""), "Trip");
    EXPECT_NE(store_->GetProfileInt("Setup", "t_first_update", 0), 0);
    EXPECT_TRUE(answerer_.Boxes().empty());

    window_.reset();
    store_ = std::make_unique<SettingsStore>();
    Open();
    // The typed folder comes back with its '/'; the stamp position is not kept.
    EXPECT_EQ(Control<QLineEdit>(1087)->text().toStdString(), Path("chosen").string() + "/");
    EXPECT_EQ(Control<QLineEdit>(1090)->text(), "Trip");
    EXPECT_EQ(Control<QLineEdit>(1039)->text(), "0");
}

TEST_F(MainWindowTest, AStampBoxWithoutAnIntegerIsReportedAtExitWhichGoesOn) {
    Open();
    Control<QLineEdit>(1084)->setText("ten");
    Control<QPushButton>(1037)->click();
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Enter an integer."});
    EXPECT_FALSE(window_->isVisible());
}

}  // namespace
}  // namespace tallowin::ui
