#pragma once
// The main window without widgets: the photo list, the current output settings, the
// output folder, the rename and stamp fields, the idle flag and the run folder, with
// the operations the window's commands call. Talks to the window only through the
// WindowPort.

#include "gdiplus.h"   // LOGFONTA, ULONG_PTR
#include "output_settings.h"
#include "photo_record.h"
#include "window_port.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace tallowin {

class SettingsStore;
class WdpCodecLibrary;

class MainWindowModel {
public:
    MainWindowModel(WindowPort& port, SettingsStore& store);
    ~MainWindowModel();
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    WindowPort& Port() { return port_; }
    SettingsStore& Store() { return store_; }

    // One line, with the time prefix, to the activity log list and the log file.
    // False when the log file cannot be opened. Called from the worker thread.
    bool AppendLog(const std::string& message);

    // ---- State (members of the window) ----
    PhotoList photos;
    OutputSettings m_outputPhotoFormat;
    std::string outputFolder;        // ends in '/' at start and after Browse
    std::string renamePrefix;        // "m_batch_renamer"
    int32_t notRename = 0;           // 0 or 1
    int32_t stampX = 0;
    int32_t stampY = 0;
    LOGFONTA stampFont{};
    uint32_t stampColour = 0;        // red in the low byte, then green, then blue
    std::atomic<int> idle{1};        // 1: no run, or a stop was asked; 0: a run is active
    std::atomic<bool> workerAlive{false};  // a worker thread exists (set by the conversion run)
    std::string runFolder;           // ends in '/'
    std::string logFilePath;
    int32_t nameOrder = 0;           // sort direction of the "File name" column
    int32_t timeOrder = 0;           // sort direction of the "Time" column
    ULONG_PTR codecToken = 0;
    WdpCodecLibrary* wdp = nullptr;  // null until loaded

private:
    WindowPort& port_;
    SettingsStore& store_;
};

}  // namespace tallowin
