#include "tallowin_dlg.h"

#include "about_dlg.h"
#include "app_icon.h"
#include "app_identity.h"
#include "application_setup.h"
#include "button_texts.h"
#include "control_ids_text.h"
#include "convert/conversion_run.h"
#include "dialog_photo_options.h"
#include "dialog_units.h"
#include "font_chooser.h"
#include "font_settings.h"
#include "language.h"
#include "main_window_model.h"
#include "photo_status.h"
#include "preview_frame.h"
#include "progress_bar.h"
#include "settings_store.h"
#include "wdp_source.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace tallowin::ui {
namespace {

struct Column {
    const char* heading;
    int width;  // pixels
};
constexpr Column kColumns[] = {{"File name", 200}, {"Width * Height", 100}, {"Time", 150},
                               {"Output Width * Height", 141}, {"Rotate", 100}, {"Status", 130}};
constexpr int kStatusColumn = 5;

// "failed", "converted" ...; nothing for a photo no run has taken up yet.
QString StatusText(const PhotoState& state, bool listedForRun) {
    if (state.status == PhotoStatus::Waiting && !listedForRun) return {};
    return QString::fromUtf8(StatusLabel(state.status));
}

// "3 photos", "1 photo".
std::string PhotoCount(size_t count) { return std::to_string(count) + (count == 1 ? " photo" : " photos"); }

// The file dialog shows the first caption of each filter; the group after it holds the
// patterns it really applies. Photo extensions match in either case, as users expect
// from files copied off cameras.
const QStringList kPhotoFilters = {
    QStringLiteral("Photo Files (*.wdp;*.hdp;*.bmp;*.gif;*.png;*.tif;*.jpg;*.jpeg;*.ico;*.exif;*.wmf;*.emf;*.dib) "
                   "(*.[wW][dD][pP] *.[hH][dD][pP] *.[bB][mM][pP] *.[gG][iI][fF] *.[pP][nN][gG] *.[tT][iI][fF] "
                   "*.[jJ][pP][gG] *.[jJ][pP][eE][gG] *.[iI][cC][oO] *.[eE][xX][iI][fF] *.[wW][mM][fF] "
                   "*.[eE][mM][fF] *.[dD][iI][bB] *.[rR][aA][wW] *.[tT][iI][fF][fF] "
                   "*.[hH][eE][iI][cC] *.[hH][eE][iI][fF] *.[aA][vV][iI][fF] *.[wW][eE][bB][pP] *.[jJ][xX][lL] *.[dD][nN][gG] "
                   "*.[cC][rR]2 *.[cC][rR]3 *.[nN][eE][fF] *.[aA][rR][wW] *.[oO][rR][fF] *.[rR][wW]2 *.[rR][aA][fF])"),
    QStringLiteral("Any Files (*.*) (*)"),
};

std::vector<std::string> ToStd(const QStringList& paths) {
    std::vector<std::string> result;
    result.reserve(static_cast<size_t>(paths.size()));
    for (const QString& path : paths) result.push_back(path.toStdString());
    return result;
}

// Restores the cursor on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

CTallowinDlg::CTallowinDlg(SettingsStore& store, const std::string& libraryFolder, QWidget* parent)
    : QDialog(parent), store_(store) {
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QStringLiteral("Pictavo"));
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    KeepQtDialogMemoryPrivate();
    BuildControls();

    port_ = new WidgetWindowPort(this);
    port_->SetPhotoListChangedHandler([this] { RebuildListView(); });
    port_->SetDropPreviewHandler([this] {
        preview_->Clear();
        previewId_ = 0;
    });
    port_->SetPhotoStatusesChangedHandler([this] { RefreshStatuses(); });
    port_->SetConvertChangedHandler([this] { UpdateRetryButton(); });
    model_ = std::make_unique<MainWindowModel>(*port_, store_);
    run_ = std::make_unique<ConversionRun>(*model_);
    ConnectCommands();
    model_->Initialise(libraryFolder);
    findChild<QCheckBox*>(ControlName(IDC_KEEP_PHOTO_INFO))->setChecked(model_->KeepPhotoInformation());
    findChild<QCheckBox*>(ControlName(IDC_REMOVE_LOCATION))->setChecked(model_->RemoveLocation());
}

CTallowinDlg::~CTallowinDlg() {
    // A worker still alive (the program is ending without Exit, say with the session)
    // may be waiting for this thread to show a box or set a control: ask it to stop and
    // keep serving it until it is gone, so that joining it cannot hang.
    if (model_ && model_->Run().workerAlive.load()) {
        model_->Run().idle.store(1);
        while (model_->Run().workerAlive.load()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

void CTallowinDlg::BuildControls() {
    const DialogUnits du(this);
    auto button = [this, &du](const char* text, ControlId id, int widthUnits) {
        auto* b = WithId(new QPushButton(this), id);
        SetMarkedText(b, QString::fromUtf8(text));
        // No button becomes the window's default on focus (Return in an edit box presses
        // nothing); Return on a focused button presses that button (eventFilter).
        b->setAutoDefault(false);
        b->installEventFilter(this);
        b->setMinimumWidth(du.X(widthUnits));
        return b;
    };
    auto label = [this](const char* text, ControlId id) { return WithId(new QLabel(QString::fromUtf8(text), this), id); };
    auto edit = [this](ControlId id) {
        auto* e = WithId(new QLineEdit(this), id);
        e->installEventFilter(this);  // files dropped on it are added as photos
        return e;
    };

    // Row of the main commands, with the photo count at its end.
    auto* commands = new QHBoxLayout;
    // Every button and check box has an access key of its own (Alt and the underlined
    // letter); Convert keeps its key as Stop.
    for (auto [text, id] :
         {std::pair{"&Add Photos", IDC_ADD_PHOTOS}, std::pair{"&Search photos", IDC_SEARCH_PHOTOS},
          std::pair{"&Options", IDC_OPTIONS}, std::pair{"Conver&t", IDC_CONVERT}, std::pair{"&Help", IDC_HELP}}) {
        commands->addWidget(button(text, id, 66));
        commands->addSpacing(du.X(16));
    }
    auto* total = label("Total Photos:", IDC_TOTAL_PHOTOS);
    total->setMinimumWidth(du.X(81));
    commands->addWidget(total, 1);

    // The photo list, and the column of list commands beside it.
    list_ = WithId(new QTableWidget(0, static_cast<int>(std::size(kColumns)), this), IDC_PHOTO_LIST);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    // One stop of the Tab chain: arrow keys move between the rows, Tab leaves.
    list_->setTabKeyNavigation(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + du.Y(3));
    list_->horizontalHeader()->setSectionsClickable(true);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->viewport()->installEventFilter(this);  // double clicks beside the rows
    for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c) {
        list_->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromUtf8(kColumns[c].heading)));
        list_->setColumnWidth(c, kColumns[c].width);
    }
    list_->setMinimumSize(du.X(200), du.Y(100));
    auto* listCommands = new QVBoxLayout;
    const std::pair<const char*, ControlId> listButtons[] = {
        {"&Edit", IDC_EDIT},   {"&Up", IDC_UP},       {"&Down", IDC_DOWN},
        {"De&lete", IDC_DELETE}, {"&Clear", IDC_CLEAR}, {"&Retry failed", IDC_RETRY_FAILED}};
    for (const auto& [text, id] : listButtons) {
        listCommands->addWidget(button(text, id, 50));
        listCommands->addStretch(1);
    }

    // Output folder.
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(label("Output Folder:", IDC_OUTPUT_FOLDER_LABEL));
    folderRow->addWidget(edit(IDC_OUTPUT_FOLDER), 1);
    folderRow->addWidget(button("Bro&wse", IDC_BROWSE, 66));

    // Text stamp: labels above, edits below; the font's face name above its button.
    auto* stamp = new QGridLayout;
    stamp->addWidget(label("Add text to photo:", IDC_STAMP_LABEL), 0, 0);
    stamp->addWidget(label("Position x, y:", IDC_POSITION_LABEL), 0, 1, 1, 2);
    auto* faceName = label("", IDC_FONT_NAME);
    faceName->setMinimumWidth(du.X(62));
    stamp->addWidget(faceName, 0, 3);
    stamp->addWidget(edit(IDC_STAMP_TEXT), 1, 0);
    for (auto [id, column] : {std::pair{IDC_STAMP_X, 1}, std::pair{IDC_STAMP_Y, 2}}) {
        QLineEdit* position = edit(id);
        position->setFixedWidth(du.X(40));
        stamp->addWidget(position, 1, column);
    }
    stamp->addWidget(button("&Font", IDC_FONT, 66), 1, 3);
    stamp->setColumnStretch(0, 1);

    // Renaming, progress and the closing commands on the left; the preview on the right.
    auto* rename = new QHBoxLayout;
    rename->addWidget(label("Batch rename prefix:", IDC_PREFIX_LABEL));
    QLineEdit* prefix = edit(IDC_PREFIX);
    prefix->setMinimumWidth(du.X(86));
    rename->addWidget(prefix, 1);
    rename->addWidget(label("+Number+Time", IDC_PREFIX_SUFFIX_LABEL));
    rename->addSpacing(du.X(8));
    auto checkBox = [this](const char* text, ControlId id) {
        auto* box = WithId(new QCheckBox(this), id);
        SetMarkedText(box, QString::fromUtf8(text));
        return box;
    };
    rename->addWidget(checkBox("&Not rename", IDC_NOT_RENAME));

    // What the outputs keep of each photo, for the whole list.
    auto* information = new QHBoxLayout;
    information->addWidget(checkBox("&Keep photo information", IDC_KEEP_PHOTO_INFO));
    information->addSpacing(du.X(8));
    information->addWidget(checkBox("Re&move location", IDC_REMOVE_LOCATION));
    information->addStretch(1);

    auto* progress = WithId(new ProgressBar(this), IDC_PROGRESS);
    progress->setRange(0, 999);
    progress->setValue(0);

    auto* closing = new QHBoxLayout;
    for (auto [text, id] :
         {std::pair{"U&pdate", IDC_UPDATE}, std::pair{"A&bout", IDC_ABOUT}, std::pair{"E&xit", IDC_EXIT}}) {
        closing->addWidget(button(text, id, 66));
        closing->addSpacing(du.X(20));
    }
    closing->addStretch(1);

    // Kept for the activity log and the list file commands, never shown.
    auto* hidden = new QHBoxLayout;
    hidden->addWidget(WithId(new QListWidget(this), IDC_LOG_LIST));
    hidden->addWidget(button("load list", IDC_LOAD_LIST, 50));
    hidden->addWidget(button("Save list", IDC_SAVE_LIST, 50));
    hidden->addWidget(button("View log", IDC_VIEW_LOG, 50));
    for (ControlId id : {IDC_LOG_LIST, IDC_LOAD_LIST, IDC_SAVE_LIST, IDC_VIEW_LOG})
        findChild<QWidget*>(ControlName(id))->hide();

    auto* lower = new QVBoxLayout;
    lower->addLayout(rename);
    lower->addLayout(information);
    lower->addLayout(hidden);
    lower->addWidget(progress);
    lower->addStretch(1);
    lower->addLayout(closing);

    preview_ = WithId(new PreviewFrame(this), IDC_PREVIEW_FRAME);
    preview_->setMinimumSize(du.X(161), du.Y(85));

    auto* grid = new QGridLayout(this);
    grid->addLayout(commands, 0, 0, 1, 2);
    grid->addWidget(list_, 1, 0);
    grid->addLayout(listCommands, 1, 1);
    grid->addLayout(folderRow, 2, 0, 1, 2);
    grid->addLayout(stamp, 3, 0, 1, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(lower, 1);
    bottom->addSpacing(du.X(12));
    bottom->addWidget(preview_);
    grid->addLayout(bottom, 4, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 1);

    // Wide enough for every column, the status column ("converted in part") included.
    resize(du.X(531 + 16), du.Y(330));
}

void CTallowinDlg::ConnectCommands() {
    auto onClick = [this](ControlId id, auto handler) {
        auto* b = findChild<QAbstractButton*>(ControlName(id));
        connect(b, &QAbstractButton::clicked, this, handler);
    };
    onClick(IDC_ADD_PHOTOS, &CTallowinDlg::OnAddPhotos);
    onClick(IDC_SEARCH_PHOTOS, &CTallowinDlg::OnSearchPhotos);
    onClick(IDC_OPTIONS, &CTallowinDlg::OnOptions);
    onClick(IDC_CONVERT, [this] {
        run_->OnConvertClicked();
        UpdateRetryButton();
    });
    onClick(IDC_RETRY_FAILED, [this] {
        run_->OnRetryFailedClicked();
        UpdateRetryButton();
    });
    onClick(IDC_HELP, [this] { model_->Help(); });
    onClick(IDC_EDIT, &CTallowinDlg::OnEdit);
    onClick(IDC_UP, &CTallowinDlg::OnUp);
    onClick(IDC_DOWN, &CTallowinDlg::OnDown);
    onClick(IDC_DELETE, &CTallowinDlg::OnDelete);
    onClick(IDC_CLEAR, &CTallowinDlg::OnClear);
    onClick(IDC_BROWSE, &CTallowinDlg::OnBrowse);
    onClick(IDC_NOT_RENAME, [this] { model_->ToggleNotRename(); });
    for (auto [id, set] : {std::pair{IDC_KEEP_PHOTO_INFO, &MainWindowModel::SetKeepPhotoInformation},
                           std::pair{IDC_REMOVE_LOCATION, &MainWindowModel::SetRemoveLocation}}) {
        connect(findChild<QAbstractButton*>(ControlName(id)), &QAbstractButton::toggled, this,
                [this, set](bool checked) { (model_.get()->*set)(checked); });
    }
    onClick(IDC_FONT, &CTallowinDlg::OnFont);
    onClick(IDC_VIEW_LOG, [this] { model_->Log().View(); });
    onClick(IDC_UPDATE, [this] { model_->Update(); });
    onClick(IDC_ABOUT, &CTallowinDlg::OnAbout);
    onClick(IDC_EXIT, [this] { ExitWindow(); });

    // The preview follows the selection, by mouse or keyboard.
    connect(list_, &QTableWidget::clicked, this, [this] { ShowPreview(); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { ShowPreview(); });
    connect(list_, &QTableWidget::doubleClicked, this, &CTallowinDlg::OnEdit);
    connect(list_, &QTableWidget::customContextMenuRequested, this, &CTallowinDlg::OnEdit);
    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this, &CTallowinDlg::OnHeadingClicked);

    // Keys of the list: Delete removes the selected photos (when there are any); Ctrl+A
    // selects them all (an edit box keeps Ctrl+A for its text); Ctrl+O is Add Photos.
    auto* remove = new QShortcut(QKeySequence::Delete, list_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, [this] {
        if (!SelectedRows().empty()) OnDelete();
    });
    auto* selectAll = new QShortcut(QKeySequence::SelectAll, this);
    connect(selectAll, &QShortcut::activated, list_, &QTableWidget::selectAll);
    auto* open = new QShortcut(QKeySequence::Open, this);
    connect(open, &QShortcut::activated, this, &CTallowinDlg::OnAddPhotos);

    // Linux desktops keep the window menu to themselves: the About entry lives in the
    // window's own context menu instead.
    auto* about = new QAction(QString::fromStdString(GetText(IDS_ABOUTBOX)), this);
    connect(about, &QAction::triggered, this, &CTallowinDlg::OnAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    // The desktop's help key does what the Help button does.
    auto* help = new QAction(this);
    help->setShortcut(QKeySequence::HelpContents);
    connect(help, &QAction::triggered, this, [this] { model_->Help(); });
    list_->addAction(help);
    help->setShortcutContext(Qt::WindowShortcut);
}

void CTallowinDlg::RebuildListView() {
    list_->clearSelection();
    list_->setRowCount(0);
    const PhotoList& photos = model_->Photos();
    list_->setRowCount(static_cast<int>(photos.size()));
    for (int row = 0; row < static_cast<int>(photos.size()); ++row) {
        const PhotoRecord& photo = photos[static_cast<size_t>(row)];
        const QString texts[] = {
            QString::fromStdString(photo.fileName),
            QStringLiteral("%1*%2").arg(photo.width).arg(photo.height),
            QString::fromStdString(photo.timeText),
            QStringLiteral("%1*%2").arg(photo.settings.nOutputWidth).arg(photo.settings.nOutputHeight),
            QString::number(photo.settings.nRotateAngel),
        };
        for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c) {
            auto* item = new QTableWidgetItem(c < static_cast<int>(std::size(texts)) ? texts[c] : QString());
            item->setTextAlignment(Qt::AlignCenter);
            list_->setItem(row, c, item);
        }
    }
    RefreshStatuses();
    UpdateSortIndicator();
}

void CTallowinDlg::RefreshStatuses() {
    const PhotoList& photos = model_->Photos();
    const PhotoStatusBoard& board = model_->List().Statuses();
    const std::vector<uint64_t> waiting = board.IdsWith(PhotoStatus::Waiting);
    const std::set<uint64_t> listedForRun(waiting.begin(), waiting.end());
    const int rows = std::min(list_->rowCount(), static_cast<int>(photos.size()));
    for (int row = 0; row < rows; ++row) {
        const uint64_t id = photos[static_cast<size_t>(row)].id;
        const PhotoState state = board.Get(id);
        QTableWidgetItem* item = list_->item(row, kStatusColumn);
        if (!item) continue;
        const QString text = StatusText(state, listedForRun.count(id) != 0);
        if (item->text() != text) {
            item->setText(text);
            // A failure stands out from the rows around it.
            if (state.status == PhotoStatus::Failed)
                item->setForeground(QColor(0xB0, 0x00, 0x20));
            else
                item->setData(Qt::ForegroundRole, QVariant());
        }
        const QString tip = QString::fromStdString(state.reason);
        if (item->toolTip() != tip) item->setToolTip(tip);
    }
    UpdateRetryButton();
}

void CTallowinDlg::UpdateRetryButton() {
    const PhotoStatusBoard& board = model_->List().Statuses();
    const std::vector<uint64_t> failedIds = board.IdsWith(PhotoStatus::Failed);
    const std::set<uint64_t> failed(failedIds.begin(), failedIds.end());
    const bool anyFailed = std::any_of(model_->Photos().begin(), model_->Photos().end(),
                                       [&](const PhotoRecord& photo) { return failed.count(photo.id) != 0; });
    if (QWidget* retry = port_->Control(IDC_RETRY_FAILED)) retry->setEnabled(anyFailed && !model_->Run().Active());
}

void CTallowinDlg::OnHeadingClicked(int column) {
    model_->List().SortByColumn(column);
    if (column == ColumnFileName || column == ColumnTime) {
        sortColumn_ = column;
        sortDescending_ = !model_->List().NextSortDescending(column);
    }
    UpdateSortIndicator();
}

void CTallowinDlg::UpdateSortIndicator() {
    QHeaderView* header = list_->horizontalHeader();
    if (sortColumn_ >= 0) {
        std::string PhotoRecord::*key = sortColumn_ == ColumnFileName ? &PhotoRecord::fileName : &PhotoRecord::timeText;
        const PhotoList& photos = model_->Photos();
        const bool inOrder = std::is_sorted(photos.begin(), photos.end(), [&](const PhotoRecord& a, const PhotoRecord& b) {
            return sortDescending_ ? b.*key < a.*key : a.*key < b.*key;
        });
        // Photos added, moved or edited out of that order: the arrow no longer says true.
        if (!inOrder) sortColumn_ = -1;
    }
    header->setSortIndicatorShown(sortColumn_ >= 0);
    if (sortColumn_ >= 0)
        header->setSortIndicator(sortColumn_, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    else
        header->setSortIndicator(-1, Qt::AscendingOrder);
}

std::vector<int> CTallowinDlg::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CTallowinDlg::SelectRows(const std::vector<int>& rows) {
    list_->clearSelection();
    QItemSelection selection;
    for (int row : rows) {
        if (row < 0 || row >= list_->rowCount()) continue;
        selection.select(list_->model()->index(row, 0), list_->model()->index(row, list_->columnCount() - 1));
    }
    list_->selectionModel()->select(selection, QItemSelectionModel::Select);
}

void CTallowinDlg::AddChosenFiles(const QStringList& paths) { model_->AddChosenFiles(ToStd(paths)); }

void CTallowinDlg::SearchFolder(const QString& folder) {
    const WaitCursor wait;
    model_->AddFolderTree(folder.toStdString());
}

void CTallowinDlg::AddDroppedItems(const QStringList& paths) { model_->AddDroppedItems(ToStd(paths)); }

void CTallowinDlg::OnAddPhotos() {
    QFileDialog dialog(this, QStringLiteral("Select Photo Files..."),
                       QString::fromStdString(model_->LastPhotoFolder()));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(kPhotoFilters);
    dialog.selectNameFilter(kPhotoFilters.front());
    if (dialog.exec() != QDialog::Accepted) return;
    AddChosenFiles(dialog.selectedFiles());
}

void CTallowinDlg::OnSearchPhotos() {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Choose a folder"));
    if (folder.isEmpty()) return;
    SearchFolder(folder);
}

void CTallowinDlg::OnBrowse() {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Choose a folder"));
    if (folder.isEmpty()) return;
    model_->OutputFolderChosen(folder.toStdString());
}

std::optional<OutputSettings> CTallowinDlg::RunOptionsDialog(const OutputSettings& settings) {
    CDialogPhotoOptions dialog(store_, this);
    dialog.FromOutputSettings(settings);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.ToOutputSettings();
}

void CTallowinDlg::OnOptions() {
    model_->Options([this](const OutputSettings& s) { return RunOptionsDialog(s); });
}

void CTallowinDlg::OnEdit() {
    SelectRows(model_->List().EditSelected(SelectedRows(), [this](const OutputSettings& s) { return RunOptionsDialog(s); }));
}

void CTallowinDlg::OnUp() {
    const std::vector<int> after = model_->List().MoveUp(SelectedRows());
    SelectRows(after);
    list_->setFocus();
}

void CTallowinDlg::OnDown() {
    const std::vector<int> after = model_->List().MoveDown(SelectedRows());
    SelectRows(after);
    list_->setFocus();
}

void CTallowinDlg::OnDelete() { SelectRows(model_->List().DeleteSelected(SelectedRows())); }

void CTallowinDlg::OnClear() {
    const size_t count = model_->Photos().size();
    if (!ConfirmDroppingPhotos(count == 1 ? "Remove the photo from the list?"
                                          : "Remove all " + PhotoCount(count) + " from the list?"))
        return;
    model_->List().Clear();
}

bool CTallowinDlg::ConfirmDroppingPhotos(const std::string& question) {
    if (model_->Photos().empty()) return true;
    return port_->ShowMessage(question, kApplicationTitle, MessageButtons::YesNo, MessageIcon::Question,
                              MessageOwner::MainWindow) ==
           MessageAnswer::Yes;
}

void CTallowinDlg::ShowPreview() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    const size_t row = static_cast<size_t>(rows.front());
    if (row >= model_->Photos().size()) return;
    const uint64_t id = model_->Photos()[row].id;
    if (id != 0 && id == previewId_ && preview_->HasImage()) return;
    const QSize room = preview_->contentsRect().size() * preview_->devicePixelRatioF() * 2;
    const WdpSourceFile source(&model_->Wdp(), model_->Photos()[row]);
    QImage image = LoadPreviewImage(source.Path(), room);
    // A file that cannot be loaded leaves the frame as it was.
    if (image.isNull()) return;
    preview_->SetImage(std::move(image));
    previewId_ = id;
}

void CTallowinDlg::OnFont() {
    FontChooser chooser(model_->Stamp().Font(), model_->Stamp().Colour(), this);
    if (chooser.exec() != QDialog::Accepted) return;
    const LOGFONTA font = chooser.SelectedFont();
    model_->Stamp().SetFont(font);
    model_->Stamp().SetColour(chooser.SelectedColour());
    port_->SetControlText(IDC_FONT_NAME, FaceName(font));
}

void CTallowinDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

// Leaving drops the photos of the list: asked once, unless a run holds the window (Exit
// then refuses as it always did).
static std::string ExitQuestion(size_t count) {
    return "The list holds " + PhotoCount(count) + ". Do you want to exit and drop " + (count == 1 ? "it?" : "them?");
}

bool CTallowinDlg::ExitWindow() {
    if (!model_->Run().Busy() && !ConfirmDroppingPhotos(ExitQuestion(model_->Photos().size()))) return false;
    if (!model_->Exit()) return false;
    QDialog::done(QDialog::Rejected);
    return true;
}

void CTallowinDlg::closeEvent(QCloseEvent* event) {
    if ((!model_->Run().Busy() && !ConfirmDroppingPhotos(ExitQuestion(model_->Photos().size()))) ||
        !model_->CloseRequest()) {
        event->ignore();
        return;
    }
    event->accept();
    QDialog::done(QDialog::Rejected);
}

bool CTallowinDlg::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* button = qobject_cast<QPushButton*>(watched);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            button->click();
            return true;
        }
        break;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        // An edit box would paste a file's address as text: files are photos to add
        // wherever they are dropped. Plain text still drops into the box.
        if (!qobject_cast<QLineEdit*>(watched)) break;
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData()->hasUrls()) break;
        if (event->type() == QEvent::Drop)
            dropEvent(drop);
        else
            drop->acceptProposedAction();
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        // The list view reports double clicks on rows only; one beside them is Edit with
        // no selection, which asks for one, as a right click there does.
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched == list_->viewport() && mouse->button() == Qt::LeftButton &&
            !list_->indexAt(mouse->position().toPoint()).isValid()) {
            OnEdit();
            return true;
        }
        break;
    }
    default: break;
    }
    return QDialog::eventFilter(watched, event);
}

void CTallowinDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CTallowinDlg::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    AddDroppedItems(paths);
}

}  // namespace tallowin::ui
