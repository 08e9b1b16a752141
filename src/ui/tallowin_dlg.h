#pragma once
// "Pictavo", the main window: the photo list with its commands, the output folder, the
// text stamp, renaming and the conversion controls. The window is thin: every command
// hands its work to MainWindowModel, which talks back through the window port.

#include "output_settings.h"
#include "widget_window_port.h"

#include <QDialog>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTableWidget;

namespace tallowin {
class ConversionRun;
class MainWindowModel;
class SettingsStore;
}  // namespace tallowin

namespace tallowin::ui {

class PreviewFrame;

class CTallowinDlg : public QDialog {
    Q_OBJECT
public:
    // Builds the window and reads the settings; `libraryFolder` is where libphoto.so
    // lies (the executable's folder when empty).
    explicit CTallowinDlg(SettingsStore& store, const std::string& libraryFolder = {}, QWidget* parent = nullptr);
    ~CTallowinDlg() override;

    MainWindowModel& Model() { return *model_; }
    WidgetWindowPort& Port() { return *port_; }
    ConversionRun& Run() { return *run_; }

    // The second half of the adding commands, after their dialogs: the chosen files,
    // the chosen folder (searched under a wait cursor), the dropped items.
    void AddChosenFiles(const QStringList& paths);
    void SearchFolder(const QString& folder);
    void AddDroppedItems(const QStringList& paths);

    // Selected rows of the list view, top down.
    std::vector<int> SelectedRows() const;
    void SelectRows(const std::vector<int>& rows);

    // The Exit path; true when the window has ended.
    bool ExitWindow();

public slots:
    // The window ends only through Exit and the close box (Escape does nothing).
    void reject() override {}

protected:
    // Return on a focused button presses it; files dragged over an edit box are the
    // window's drop; a double click on an empty part of the list is Edit.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls();
    void ConnectCommands();
    void RebuildListView();
    // The status column's texts and tooltips, and the Retry failed button, follow the
    // photos' statuses.
    void RefreshStatuses();
    void UpdateRetryButton();
    // The sort arrow stays on the heading sorted last while the list is still in that
    // order.
    void UpdateSortIndicator();
    void OnHeadingClicked(int column);
    // The first selected photo in the preview, unless it is shown already.
    void ShowPreview();
    // Asks `question` (Yes/No) when the list holds photos; true to go on.
    bool ConfirmDroppingPhotos(const std::string& question);

    void OnAddPhotos();
    void OnSearchPhotos();
    void OnOptions();
    void OnEdit();
    void OnUp();
    void OnDown();
    void OnDelete();
    void OnClear();
    void OnBrowse();
    void OnFont();
    void OnAbout();

    // A modal run of the options dialog on a copy of `settings`.
    std::optional<OutputSettings> RunOptionsDialog(const OutputSettings& settings);

    SettingsStore& store_;
    WidgetWindowPort* port_ = nullptr;
    std::unique_ptr<MainWindowModel> model_;
    std::unique_ptr<ConversionRun> run_;
    QTableWidget* list_ = nullptr;
    PreviewFrame* preview_ = nullptr;
    uint64_t previewId_ = 0;  // the photo the preview shows; 0 for none
    int sortColumn_ = -1;     // the heading that shows the sort arrow; -1 for none
    bool sortDescending_ = false;
};

}  // namespace tallowin::ui
