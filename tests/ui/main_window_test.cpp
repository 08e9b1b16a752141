// The "Pictavo" window driven offscreen: its state at start, adding photos through the
// commands' second halves and a drop, Edit on several photos, a conversion run with its
// stop and closing question, Exit refused during a run, settings across two starts.

#include "application_setup.h"
#include "comma_locale.h"
#include "control_ids_text.h"
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
#include <QGuiApplication>
#include <QSettings>
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

#include <cstdio>
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
    Widget* Control(ControlId id) {
        auto* widget = window_->findChild<Widget*>(ControlName(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    QTableWidget* List() { return Control<QTableWidget>(IDC_PHOTO_LIST); }
    QString Cell(int row, int column) { return List()->item(row, column)->text(); }
    void WaitForRunEnd() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window_->Model().Run().workerAlive.load(); }, 20000));
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
    EXPECT_EQ(Control<QLabel>(IDC_TOTAL_PHOTOS)->text(), "Total Photos:");
    EXPECT_EQ(List()->rowCount(), 0);
    for (ControlId id : {IDC_CONVERT, IDC_EDIT, IDC_UP, IDC_DOWN, IDC_DELETE, IDC_CLEAR})
        EXPECT_FALSE(Control(id)->isEnabled()) << id;
    for (ControlId id : {IDC_ADD_PHOTOS, IDC_SEARCH_PHOTOS, IDC_OPTIONS, IDC_HELP, IDC_BROWSE, IDC_FONT, IDC_UPDATE,
                         IDC_ABOUT, IDC_EXIT})
        EXPECT_TRUE(Control(id)->isEnabled()) << id;
    for (ControlId id : {IDC_LOG_LIST, IDC_LOAD_LIST, IDC_SAVE_LIST, IDC_VIEW_LOG})
        EXPECT_TRUE(Control(id)->isHidden()) << id;
    EXPECT_EQ(Control<QPushButton>(IDC_CONVERT)->text(), "Conver&t");

    const char* headings[] = {"File name", "Width * Height", "Time", "Output Width * Height", "Rotate", "Status"};
    const int widths[] = {200, 100, 150, 141, 100, 130};
    ASSERT_EQ(List()->columnCount(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(List()->horizontalHeaderItem(c)->text(), headings[c]);
        EXPECT_EQ(List()->columnWidth(c), widths[c]);
    }
    EXPECT_TRUE(List()->showGrid());
    EXPECT_EQ(List()->selectionBehavior(), QAbstractItemView::SelectRows);
    // The output folder is the "Pictavo" folder under the pictures folder, with its '/'.
    EXPECT_TRUE(Control<QLineEdit>(IDC_OUTPUT_FOLDER)->text().endsWith("/Pictavo/"));
    EXPECT_EQ(Control<QLineEdit>(IDC_PREFIX)->text(), "output.photo");
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
    EXPECT_EQ(Control<QLabel>(IDC_TOTAL_PHOTOS)->text(), "Total photos: 2");
    for (ControlId id : {IDC_CONVERT, IDC_EDIT, IDC_UP, IDC_DOWN, IDC_DELETE, IDC_CLEAR})
        EXPECT_TRUE(Control(id)->isEnabled()) << id;

    // A drop of a folder, a text file and a photo adds the photo alone, and says why the
    // text file was not added.
    const std::string text = WriteFile("notes.txt", "not a photo").string();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Path("photos").string())),
                  QUrl::fromLocalFile(QString::fromStdString(text)),
                  QUrl::fromLocalFile(QString::fromStdString(png_))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    ASSERT_EQ(List()->rowCount(), 3);
    EXPECT_EQ(Cell(2, 0), "basn2c08.png");
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"This file could not be added:\n\n" + text +
                                                          "\n    It is not a photo that can be read, or it is damaged."});

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
    Control<QPushButton>(IDC_ADD_PHOTOS)->click();
    EXPECT_EQ(title, "Select Photo Files...");
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(filters[0].startsWith("Photo Files (*.wdp;*.hdp;*.bmp;*.gif;*.png;*.tif;*.jpg;*.jpeg;*.ico;*.exif;"
                                      "*.wmf;*.emf;*.dib) ("));
    EXPECT_TRUE(filters[1].startsWith("Any Files (*.*)"));
    ASSERT_EQ(List()->rowCount(), 1);
    EXPECT_EQ(Cell(0, 0), "rgb24.bmp");
    EXPECT_EQ(store_->GetProfileString("Option", "LastPhotoFolder", ""), Path("photos").string() + "/");

    Control<QPushButton>(IDC_ADD_PHOTOS)->click();
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
            dialog->findChild<QRadioButton*>(ControlName(IDC_ROTATE_270))->click();
            dialog->findChild<QPushButton*>(ControlName(IDOK))->click();
            return true;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        return box && ModalAnswerer::ClickButton(box, "Yes");
    });
    Control<QPushButton>(IDC_OPTIONS)->click();
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Do you want to change all output settings of photos?"});
    EXPECT_EQ(window_->Model().Settings().current.nRotateAngel, 270);
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
            dialog->findChild<QPushButton*>(ControlName(IDCANCEL))->click();
        } else {
            dialog->findChild<QLineEdit*>(ControlName(IDC_WIDTH))->setText(dialogs == 1 ? "254" : "508");
            dialog->findChild<QPushButton*>(ControlName(IDOK))->click();
        }
        return true;
    });
    Control<QPushButton>(IDC_EDIT)->click();
    EXPECT_EQ(dialogs, 3);
    const PhotoList& photos = window_->Model().Photos();
    ASSERT_EQ(photos.size(), 3u);
    EXPECT_EQ(photos[0].settings.nOutputWidth, 254);
    EXPECT_EQ(photos[0].settings.nOutputHeight, 128);
    EXPECT_EQ(photos[1].settings.nOutputWidth, 1024);
    EXPECT_EQ(photos[2].settings.nOutputWidth, 508);
    EXPECT_EQ(Cell(2, 3), "508*256");

    // Edit with nothing selected asks for a selection.
    answerer_.SetScript({});
    window_->SelectRows({});
    Control<QPushButton>(IDC_EDIT)->click();
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Please select items!"});
}

TEST_F(MainWindowTest, UpDownAndColumnSortKeepRowsAndSelectionInStep) {
    Open();
    window_->AddChosenFiles({QString::fromStdString(png_), QString::fromStdString(bmp_)});
    window_->SelectRows({1});
    Control<QPushButton>(IDC_UP)->click();
    EXPECT_EQ(Cell(0, 0), "rgb24.bmp");
    EXPECT_EQ(window_->SelectedRows(), std::vector<int>{0});
    Control<QPushButton>(IDC_DOWN)->click();
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
    auto* preview = Control<PreviewFrame>(IDC_PREVIEW_FRAME);
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

    Control<QPushButton>(IDC_DELETE)->click();
    EXPECT_FALSE(preview->HasImage());
    EXPECT_EQ(List()->rowCount(), 1);
    EXPECT_EQ(Cell(0, 0), "rgb24.bmp");
}

// The chooser starts from the current font and colour, so a new face keeps the colour;
// its choice reaches the model, the face-name label and, at Exit, the store.
TEST_F(MainWindowTest, FontChooserKeepsTheColourAndItsChoiceIsStoredAtExit) {
    Open();
    window_->Model().Stamp().SetColour(0x0000FF);  // red
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
    Control<QPushButton>(IDC_FONT)->click();
    EXPECT_EQ(startColour, QColor(255, 0, 0));
    EXPECT_EQ(window_->Model().Stamp().Colour(), 0x0000FFu);
    const LOGFONTA font = window_->Model().Stamp().Font();
    EXPECT_EQ(FaceName(font), "DejaVu Serif");
    EXPECT_EQ(font.lfHeight, -40);
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_EQ(Control<QLabel>(IDC_FONT_NAME)->text(), "DejaVu Serif");

    Control<QPushButton>(IDC_EXIT)->click();
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
    Control<QCheckBox>(IDC_NOT_RENAME)->click();
    for (ControlId id : {IDC_PREFIX_LABEL, IDC_PREFIX, IDC_PREFIX_SUFFIX_LABEL})
        EXPECT_FALSE(Control(id)->isEnabled()) << id;
    EXPECT_TRUE(window_->Model().Settings().notRename);
    Control<QCheckBox>(IDC_NOT_RENAME)->click();
    for (ControlId id : {IDC_PREFIX_LABEL, IDC_PREFIX, IDC_PREFIX_SUFFIX_LABEL})
        EXPECT_TRUE(Control(id)->isEnabled()) << id;
}

// Photo information is kept and the location with it on a first start; "Remove
// location" follows "Keep photo information"; both come back after Exit.
TEST_F(MainWindowTest, PhotoInformationBoxesAreStoredAndRestoredAcrossStarts) {
    Open();
    auto* keep = Control<QCheckBox>(IDC_KEEP_PHOTO_INFO);
    auto* remove = Control<QCheckBox>(IDC_REMOVE_LOCATION);
    EXPECT_TRUE(keep->isChecked());
    EXPECT_FALSE(remove->isChecked());
    EXPECT_TRUE(remove->isEnabled());
    remove->click();
    EXPECT_TRUE(window_->Model().PhotoInformation().removeLocation);
    EXPECT_TRUE(window_->Model().PhotoInformation().keepMetadata);
    keep->click();
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_FALSE(window_->Model().PhotoInformation().keepMetadata);
    Control<QPushButton>(IDC_EXIT)->click();
    EXPECT_EQ(store_->GetProfileInt("Option", "keep_photo_information", -1), 0);
    EXPECT_EQ(store_->GetProfileInt("Option", "remove_location", -1), 1);

    window_.reset();
    store_ = std::make_unique<SettingsStore>();
    Open();
    EXPECT_FALSE(Control<QCheckBox>(IDC_KEEP_PHOTO_INFO)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(IDC_REMOVE_LOCATION)->isChecked());
    EXPECT_FALSE(Control(IDC_REMOVE_LOCATION)->isEnabled());
    EXPECT_FALSE(window_->Model().PhotoInformation().keepMetadata);
    Control<QCheckBox>(IDC_KEEP_PHOTO_INFO)->click();
    EXPECT_TRUE(Control(IDC_REMOVE_LOCATION)->isEnabled());
    EXPECT_TRUE(window_->Model().PhotoInformation().keepMetadata);
    EXPECT_TRUE(window_->Model().PhotoInformation().removeLocation);
}

// A run started and stopped at once converts the first photo only; while the worker
// waits on its closing question, Exit is refused; the question is owned by no window.
TEST_F(MainWindowTest, ConvertStopAndExitRefusedWhileTheWorkerLives) {
    store_->WriteProfileInt("Option", "workers", 1);  // one photo in hand when the stop comes
    Open();
    window_->Model().Settings().current.nOuptputFormat = FormatBmp;
    window_->AddChosenFiles(
        {QString::fromStdString(bmp_), QString::fromStdString(png_), QString::fromStdString(bmp_)});
    window_->Model().OutputFolderChosen(Path("out").string());
    fs::create_directories(Path("out"));
    Control<QCheckBox>(IDC_NOT_RENAME)->click();  // keep the photos' own names

    bool exitTried = false;
    std::string doneCaption;
    answerer_.SetScript([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box || !box->text().startsWith("The conversion was stopped:")) return false;
        if (!exitTried) {
            exitTried = true;
            doneCaption = box->windowTitle().toStdString();
            EXPECT_EQ(Control<QPushButton>(IDC_CONVERT)->text(), "Conver&t");
            // The worker still waits on this box: leaving must be refused.
            Control<QPushButton>(IDC_EXIT)->click();
            EXPECT_TRUE(window_->isVisible());
        }
        return ModalAnswerer::ClickButton(box, "No");
    });
    Control<QPushButton>(IDC_CONVERT)->click();
    Control<QPushButton>(IDC_CONVERT)->click();  // stop after the photo in hand
    WaitForRunEnd();

    const std::vector<std::string> expected = {
        "The conversion was stopped: 1 of 3 photos written. 1 converted, 0 converted in part, 0 failed, 0 skipped. "
        "Do you want to open the output folder?",
        "Please stop converting first"};
    EXPECT_EQ(answerer_.Texts(), expected);
    ASSERT_EQ(answerer_.Boxes().size(), 2u);
    EXPECT_FALSE(answerer_.Boxes()[0].owned);
    EXPECT_TRUE(answerer_.Boxes()[1].owned);
    EXPECT_EQ(answerer_.Boxes()[1].caption, "Warning");
    ASSERT_FALSE(doneCaption.empty());
    EXPECT_EQ(doneCaption, window_->Model().Run().runFolder);
    EXPECT_EQ(Control<QPushButton>(IDC_CONVERT)->text(), "Conver&t");
    EXPECT_EQ(Control<QProgressBar>(IDC_PROGRESS)->value(), 999);
    size_t outputs = 0;
    for (const auto& entry : fs::directory_iterator(doneCaption)) outputs += entry.path().extension() == ".bmp";
    EXPECT_EQ(outputs, 1u);
    // The settings were not written by the refused Exit.
    EXPECT_EQ(store_->GetProfileString("Option", "photo_output_folder", "none"), "none");
}

TEST_F(MainWindowTest, ExitWritesTheSettingsThatTheNextStartReads) {
    Open();
    Control<QLineEdit>(IDC_OUTPUT_FOLDER)->setText(QString::fromStdString(Path("chosen").string()));
    Control<QLineEdit>(IDC_PREFIX)->setText("Trip");
    Control<QLineEdit>(IDC_STAMP_X)->setText("12");
    Control<QLineEdit>(IDC_STAMP_TEXT)->setText("© Ana, 2026");
    // Escape is no way out: only Exit and the close box end the window.
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_TRUE(window_->isVisible());
    Control<QPushButton>(IDC_EXIT)->click();
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(store_->GetProfileString("Option", "photo_output_folder", ""), Path("chosen").string());
    EXPECT_EQ(store_->GetProfileString("Option", "m_batch_renamer", ""), "Trip");
    EXPECT_NE(store_->GetProfileInt("Setup", "t_first_update", 0), 0);
    EXPECT_TRUE(answerer_.Boxes().empty());

    window_.reset();
    store_ = std::make_unique<SettingsStore>();
    Open();
    // The typed folder comes back with its '/', the stamp with its position.
    EXPECT_EQ(Control<QLineEdit>(IDC_OUTPUT_FOLDER)->text().toStdString(), Path("chosen").string() + "/");
    EXPECT_EQ(Control<QLineEdit>(IDC_PREFIX)->text(), "Trip");
    EXPECT_EQ(Control<QLineEdit>(IDC_STAMP_X)->text(), "12");
    EXPECT_EQ(Control<QLineEdit>(IDC_STAMP_TEXT)->text(), "© Ana, 2026");
}

TEST_F(MainWindowTest, AStampBoxWithoutAnIntegerIsReportedAtExitWhichGoesOn) {
    Open();
    Control<QLineEdit>(IDC_STAMP_Y)->setText("ten");
    Control<QPushButton>(IDC_EXIT)->click();
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Enter an integer."});
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    EXPECT_EQ(answerer_.Boxes()[0].caption, "Pictavo");
    EXPECT_EQ(answerer_.Boxes()[0].icon, QMessageBox::Warning);
    EXPECT_FALSE(window_->isVisible());
}

// Return on a focused button presses it; Return in an edit box presses nothing.
TEST_F(MainWindowTest, ReturnPressesTheFocusedButtonOnly) {
    Open();
    window_->AddChosenFiles({QString::fromStdString(bmp_), QString::fromStdString(png_)});
    QTest::keyClick(Control<QLineEdit>(IDC_STAMP_TEXT), Qt::Key_Return);
    QTest::keyClick(Control<QLineEdit>(IDC_OUTPUT_FOLDER), Qt::Key_Enter);
    EXPECT_EQ(List()->rowCount(), 2);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_FALSE(window_->Model().Run().workerAlive.load());

    answerer_.SetScript([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        return box && ModalAnswerer::ClickButton(box, "Yes");
    });
    QTest::keyClick(Control<QPushButton>(IDC_CLEAR), Qt::Key_Return);
    EXPECT_EQ(List()->rowCount(), 0);
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Remove all 2 photos from the list?"});
}

// A double click beside the rows asks for a selection, as a right click does.
TEST_F(MainWindowTest, DoubleClickBesideTheRowsAsksForASelection) {
    Open();
    window_->AddChosenFiles({QString::fromStdString(bmp_)});
    ASSERT_TRUE(window_->SelectedRows().empty());
    QWidget* viewport = List()->viewport();
    const QPoint empty(5, viewport->height() - 5);
    ASSERT_FALSE(List()->indexAt(empty).isValid());
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, empty);
    ASSERT_EQ(answerer_.Texts(), std::vector<std::string>{"Please select items!"});
    EXPECT_EQ(answerer_.Boxes()[0].caption, "Pictavo");

    answerer_.ClearBoxes();
    emit List()->customContextMenuRequested(empty);
    EXPECT_EQ(answerer_.Texts(), std::vector<std::string>{"Please select items!"});
}

// A file manager's drag carries the files' addresses as text too: dropped on an edit box
// they are photos to add, and the box keeps its text. Plain text still drops into it.
TEST_F(MainWindowTest, FilesDroppedOnAnEditBoxAreAddedAsPhotos) {
    Open();
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(png_));
    int photos = 0;
    for (ControlId id : {IDC_OUTPUT_FOLDER, IDC_STAMP_TEXT, IDC_STAMP_X, IDC_STAMP_Y, IDC_PREFIX}) {
        auto* edit = Control<QLineEdit>(id);
        const QString before = edit->text();
        QMimeData data;
        data.setUrls({url});
        data.setText(url.toString());
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit, &enter);
        EXPECT_TRUE(enter.isAccepted()) << id;
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit, &drop);
        EXPECT_EQ(edit->text().toStdString(), before.toStdString()) << id;
        EXPECT_EQ(List()->rowCount(), ++photos) << id;
    }
    ASSERT_EQ(List()->rowCount(), 5);
    EXPECT_EQ(Cell(0, 0), "basn2c08.png");
}

// Captions are exactly the words the program gives: no application display name for
// Qt to append ("Warning — Pictavo"); numbers are printed with a point in any locale.
TEST_F(MainWindowTest, ApplicationSetupLeavesCaptionsAndNumbersAlone) {
    const test::CommaLocale comma(Root().string());
    ConfigureApplication();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    char text[16];
    std::snprintf(text, sizeof text, "%g", 1.5);
    EXPECT_STREQ(text, "1.5");
}

// Qt's file and colour dialogs keep their memory in a settings file of Qt's own: it
// stays in the private temporary folder, out of the settings folder.
TEST_F(MainWindowTest, TheFileDialogWritesNoSecondSettingsFile) {
    Open();
    bool seen = false;
    answerer_.SetScript([&](QWidget* modal) {
        seen = seen || qobject_cast<QFileDialog*>(modal) != nullptr;
        return false;  // cancelled
    });
    Control<QPushButton>(IDC_ADD_PHOTOS)->click();
    EXPECT_TRUE(seen);
    const std::string qtFile = QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName().toStdString();
    EXPECT_EQ(qtFile.rfind(Path("tmp").string(), 0), 0u) << qtFile;
    for (const auto& entry : fs::recursive_directory_iterator(Path("config")))
        EXPECT_EQ(entry.path().filename().string().find("QtProject"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace tallowin::ui
