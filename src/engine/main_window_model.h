#pragma once
// The main window without widgets. Its state lives in pieces that explain themselves:
// the photo list (PhotoListModel), the values its boxes show (WindowSettings), the
// stamp's font and colour (StampStyle), the run state (RunState) and the activity log
// (ActivityLog). The model owns them and carries out the window's commands that span
// several pieces: start and Exit, the data exchange with the boxes, adding photos,
// Options, Help and Update. Talks to the window only through the WindowPort.
// Everything runs on the window's thread except where a comment says a member may be
// used from the conversion worker.

#include "activity_log.h"
#include "gdiplus.h"   // ULONG_PTR
#include "photo_metadata.h"
#include "photo_list_model.h"
#include "run_state.h"
#include "stamp_style.h"
#include "wdp_codec_library.h"
#include "window_port.h"
#include "window_settings.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace tallowin {

class SettingsStore;
struct AddFailure;

class MainWindowModel {
public:
    // Reads the stamp font, the stamp colour, the rename prefix, the current output
    // settings and the stamp text and position from the store.
    MainWindowModel(WindowPort& port, SettingsStore& store);
    ~MainWindowModel();
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    // ---- The pieces ----
    WindowPort& Port() { return port_; }
    PhotoListModel& List() { return list_; }
    PhotoList& Photos() { return list_.Photos(); }
    WindowSettings& Settings() { return settings_; }
    StampStyle& Stamp() { return stamp_; }           // also from the worker
    RunState& Run() { return run_; }                 // also from the worker
    ActivityLog& Log() { return log_; }              // also from the worker
    WdpCodecLibrary& Wdp() { return wdpLibrary_; }   // loaded by Initialise
    const SettingsStore& Store() const { return store_; }  // the window's thread only

    // ---- Start and end ----

    // Starts the codec service (once; Initialise does it too).
    void StartCodecService();

    // The window's initialisation without widgets: starts the codec service, clears
    // the sort state, finds the default output folder, fixes the log path, loads the
    // WDP library from `libraryFolder` (the executable's folder when empty) and writes
    // the values into their controls.
    void Initialise(const std::string& libraryFolder = {});

    // The default output folder: the stored "photo_output_folder", whose default is the
    // "Pictavo" folder under the user's pictures folder (created when missing).
    std::string DefaultOutputFolder();

    // Exit: refused with "Please stop converting first" while a run is active or a worker
    // thread is still alive (false). Otherwise reads the controls, writes the output
    // folder (unless the box is empty), the stamp font and colour, the rename prefix,
    // the current output settings and the stamp text and position,
    // shuts the codec service down, runs the update reminder and returns true: the window
    // may end.
    bool Exit();
    // A close request: Exit, then, when the window really ends, releases the WDP library.
    bool CloseRequest();

    // Every 180 days of Exits, offers to open the product's page. `now` is the current
    // time (seconds since 1970).
    bool UpdatePrompt(const std::string& address, std::time_t now);
    bool UpdatePrompt(const std::string& address) { return UpdatePrompt(address, std::time(nullptr)); }

    // ---- Controls ----

    // Values to controls: output folder, rename prefix, stamp text, stamp X and Y.
    void ExchangeToControls();
    // Controls to values in the same order; a stamp box that holds no integer shows
    // "Enter an integer." and ends the exchange there (false).
    bool ExchangeFromControls();

    // The folder browser's choice: the output folder gets a trailing '/' and its box.
    void OutputFolderChosen(const std::string& folder);
    // The "Not rename" box was clicked: toggles notRename and the rename prefix controls.
    void ToggleNotRename();

    // The "Keep photo information" box: "Remove location" is enabled only while it is
    // checked. Both are stored at Exit.
    void SetKeepPhotoInformation(bool keep);
    void SetRemoveLocation(bool remove) { removeLocation_.store(remove); }
    bool KeepPhotoInformation() const { return keepPhotoInformation_.load(); }
    bool RemoveLocation() const { return removeLocation_.load(); }
    // What the outputs keep of each photo's information, as the boxes stand now; also
    // from the worker.
    metadata::MetadataOptions PhotoInformation() const;

    // Warns (texts 128, 129, caption 119) and resets the stamp box to "0" when the
    // stamp's X is not below maxX or its Y not below maxY. Always true.
    bool CheckTextPosition(int32_t maxX, int32_t maxY);

    // ---- Help, Update ----

    // Path of the help's start page beside the executable.
    std::string HelpPath() const;
    void Help();
    void Update();

    // ---- Adding photos ----

    // ReadPhotoFile with the current settings.
    bool AddPhotoFromFile(const std::string& path, PhotoRecord& record);

    // The initial folder of the Add Photos dialog ("LastPhotoFolder").
    std::string LastPhotoFolder() const;
    // The three ways of adding report the files they could not take in one box at
    // their end (ReportAddFailures).
    // Add Photos confirmed: each chosen path in order.
    void AddChosenFiles(const std::vector<std::string>& paths);
    // Search photos confirmed: every photo file of the folder tree, breadth first.
    void AddFolderTree(const std::string& folder);
    // Items dropped on the window: files are tried whatever their extension; folders and
    // unreadable items are skipped.
    void AddDroppedItems(const std::vector<std::string>& paths);

    // Options: the dialog on the current settings; on OK they become current and, when
    // the user agrees, are given to every photo.
    void Options(const OptionsDialog& dialog);

private:
    // Appends the photo, or notes why the file could not be added.
    void AddPhotoAtEnd(const std::string& path, std::vector<AddFailure>& failures);

    WindowPort& port_;
    SettingsStore& store_;
    RunState run_;
    PhotoListModel list_;
    WindowSettings settings_;
    StampStyle stamp_;
    ActivityLog log_;
    WdpCodecLibrary wdpLibrary_;
    ULONG_PTR codecToken_ = 0;
    std::atomic<bool> keepPhotoInformation_{true};
    std::atomic<bool> removeLocation_{false};
};

}  // namespace tallowin
