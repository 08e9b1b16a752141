#pragma once
// The main window without widgets: the photo list, the current output settings, the
// output folder, the rename and stamp fields, the idle flag and the run folder, with
// the operations the window's commands call. Talks to the window only through the
// WindowPort. Everything runs on the window's thread except where a comment says a
// member may be used from the conversion worker.

#include "gdiplus.h"   // LOGFONTA, ULONG_PTR
#include "output_settings.h"
#include "photo_record.h"
#include "wdp_codec_library.h"
#include "window_port.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tallowin {

class SettingsStore;

// Rows of the photo list that are selected, in ascending order.
using Selection = std::vector<int>;

// The options dialog, run modally on a copy of some settings: the edited settings on
// OK, nothing on Cancel.
using OptionsDialog = std::function<std::optional<OutputSettings>(const OutputSettings&)>;

// Columns of the photo list view.
enum PhotoColumn : int { ColumnFileName = 0, ColumnSize = 1, ColumnTime = 2, ColumnOutputSize = 3, ColumnRotate = 4 };

class MainWindowModel {
public:
    // Reads the stamp font, the stamp colour and the rename prefix from the store.
    MainWindowModel(WindowPort& port, SettingsStore& store);
    ~MainWindowModel();
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    WindowPort& Port() { return port_; }

    // ---- Start and end ----

    // The window's initialisation without widgets: starts the codec service, clears
    // the sort state, finds the default output folder, fixes the log path, loads the
    // WDP library from `libraryFolder` (the executable's folder when empty) and writes
    // the members into their controls.
    void Initialise(const std::string& libraryFolder = {});

    // The default output folder: the stored "photo_output_folder", whose default is the
    // "Pictavo" folder under the user's pictures folder (created when missing).
    std::string DefaultOutputFolder();

    // Exit: refused with "Please stop converting first" while a run is active or a worker
    // thread is still alive (false). Otherwise reads the controls, writes the output
    // folder, the stamp font and colour and the rename prefix, shuts the codec service
    // down, runs the update reminder and returns true: the window may end.
    bool Exit();
    // A close request: Exit, then, when the window really ends, releases the WDP library.
    bool CloseRequest();

    // Every 180 days of Exits, offers to open the product's page. `now` is the current
    // time (seconds since 1970).
    bool UpdatePrompt(const std::string& address, std::time_t now);
    bool UpdatePrompt(const std::string& address) { return UpdatePrompt(address, std::time(nullptr)); }

    // ---- Controls ----

    // Members to controls: output folder, rename prefix, stamp X and Y.
    void ExchangeToControls();
    // Controls to members in the same order; a stamp box that holds no integer shows
    // "Enter an integer." and ends the exchange there (false).
    bool ExchangeFromControls();

    // The folder browser's choice: the output folder gets a trailing '/' and its box.
    void OutputFolderChosen(const std::string& folder);
    // The "Not rename" box was clicked: toggles notRename and the rename prefix controls.
    void ToggleNotRename();

    // Warns (texts 128, 129, caption 119) and resets the stamp box to "0" when the
    // stamp's X is not below maxX or its Y not below maxY. Always true.
    bool CheckTextPosition(int32_t maxX, int32_t maxY);

    // Rebuild of the list view: "Total photos: %d" and the list buttons follow the count;
    // so does Convert, except that it stays pressable (as Stop) while a run is active.
    bool RefreshPhotoList();
    // The worker has ended: Convert follows the list again. Called from the worker.
    void RunEnded();
    // Enables or disables Convert, Edit, Up, Down, Delete and Clear together.
    void EnablePhotoButtons(bool enable);

    // ---- Help, Update, View log ----

    // Path of the help's start page beside the executable.
    std::string HelpPath() const;
    void Help();
    void Update();
    void ViewLog();

    // ---- Activity log ----

    // One line, with the time prefix, to the activity log list and the log file.
    // False when the log file cannot be opened or written. Called from the worker.
    bool AppendLog(const std::string& message);
    // Empties the activity log list (a run starts). Called from the worker.
    void ClearLog();
    // Lines now in the activity log list.
    std::vector<std::string> LogLines() const;

    // ---- Adding photos ----

    // ReadPhotoFile with the current settings.
    bool AddPhotoFromFile(const std::string& path, PhotoRecord& record);

    // The initial folder of the Add Photos dialog ("LastPhotoFolder").
    std::string LastPhotoFolder() const;
    // Add Photos confirmed: each chosen path in order.
    void AddChosenFiles(const std::vector<std::string>& paths);
    // Search photos confirmed: every photo file of the folder tree, breadth first.
    void AddFolderTree(const std::string& folder);
    // Items dropped on the window: files are tried whatever their extension; folders and
    // unreadable items are skipped.
    void AddDroppedItems(const std::vector<std::string>& paths);

    // ---- List operations ----
    // Each takes the list view's selection and returns the selection after it.

    Selection MoveUp(const Selection& selection);
    Selection MoveDown(const Selection& selection);
    Selection DeleteSelected(const Selection& selection);
    void ClearPhotos();
    // Click on a column heading: "File name" and "Time" sort, alternating direction.
    void SortByColumn(int column);
    // Edit: the dialog for each selected photo in turn; OK replaces its settings and
    // recomputes its output size.
    Selection EditSelected(const Selection& selection, const OptionsDialog& dialog);
    // Options: the dialog on the current settings; on OK they become current and, when
    // the user agrees, are given to every photo.
    void Options(const OptionsDialog& dialog);

    // Output size of one photo from its own settings (messages through the port).
    bool ApplyOutputSize(PhotoRecord& photo);
    // The current settings into the photo, then its output size.
    bool AssignOutputSettings(PhotoRecord& photo);

    // ---- Stamp font and colour ----
    // The conversion worker reads them for every photo while the Font button may change
    // them, so they are kept under a lock and handed out as copies.
    LOGFONTA StampFont() const;
    void SetStampFont(const LOGFONTA& font);
    uint32_t StampColour() const;  // red in the low byte, then green, then blue
    void SetStampColour(uint32_t colour);

    // ---- State (members of the window) ----
    PhotoList photos;
    OutputSettings m_outputPhotoFormat;
    std::string outputFolder;        // ends in '/' at start and after Browse
    std::string renamePrefix;        // "m_batch_renamer"
    int32_t notRename = 0;           // 0 or 1
    int32_t stampX = 0;
    int32_t stampY = 0;
    std::atomic<int> idle{1};        // 1: no run, or a stop was asked; 0: a run is active
    std::atomic<bool> workerAlive{false};  // a worker thread exists (set by the conversion run)
    std::string runFolder;           // ends in '/'
    std::string logFilePath;
    int32_t nameOrder = 0;           // sort direction of the "File name" column
    int32_t timeOrder = 0;           // sort direction of the "Time" column
    ULONG_PTR codecToken = 0;
    WdpCodecLibrary* wdp;            // the model's library object; loaded by Initialise

private:
    void AddPhotoAtEnd(const std::string& path);
    // The list view shows a new order of the same photos (Up, Down).
    void ListOrderChanged();

    WindowPort& port_;
    SettingsStore& store_;
    WdpCodecLibrary wdpLibrary_;

    mutable std::mutex stampMutex_;
    LOGFONTA stampFont_{};
    uint32_t stampColour_ = 0;

    std::atomic<size_t> photoCount_{0};  // the count the list view shows, for the worker's last step

    mutable std::mutex logMutex_;
    std::vector<std::string> logLines_;
};

}  // namespace tallowin
