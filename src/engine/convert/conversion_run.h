#pragma once
// The conversion run of the main window: the Convert/Stop button, the run folder
// named after the moment the run starts, and a worker thread that converts a snapshot
// of the photo list, moves the progress bar, keeps each photo's status and offers to
// open the run folder at the end with what the run did.
//
// The worker converts up to "workers" photos at a time (a setting; the machine's cores
// by default), each on a thread of its own, while the user sees everything in list
// order: log lines, questions, message boxes, progress and statuses (PhotoOrder). A
// photo starts only when its memory fits the run's budget; photos that share an output
// path convert one after the other. With one worker the run is the classic one: each
// photo converted and shown before the next begins.
//
// States: idle (flag 1, no worker), running (flag 0), stopping (flag 1 while the
// photos in hand finish; no other photo starts). Only one worker exists at a time: a
// click while a worker is still alive and already asked to stop does nothing.

#include "main_window_model.h"
#include "run_progress.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <thread>

namespace tallowin {

class SettingsStore;

// How many photos the window's run converts at a time: the stored "workers", or the
// machine's cores when it is missing or below 1; at most 64.
size_t WindowRunWorkers(const SettingsStore& store);

class ConversionRun {
public:
    explicit ConversionRun(MainWindowModel& model);
    // Waits for a worker that is still alive. Call only once the worker can finish
    // without the GUI thread (the window refuses to close while it is alive).
    ~ConversionRun();
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    // The Convert button: starts a run of the whole list, or asks the running one to
    // stop once the photos in hand are done.
    void OnConvertClicked();
    // The "Retry failed" button: a new run (a new run folder) of the photos of the list
    // whose status is failed, in list order. Nothing while a worker is alive or when no
    // photo failed.
    void OnRetryFailedClicked();

    // Blocks until the current worker (if any) has ended. For tests and shutdown;
    // never from the GUI thread while the worker may wait on a message box.
    void WaitForWorker();

    // The clock the run folder is named by (tests fix it).
    void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }
    // The clock the time left is measured by (tests drive it).
    void SetProgressClock(RunProgress::Clock clock) { progressClock_ = std::move(clock); }
    // The memory the photos converting at once may take (MemoryBudget); by default a
    // quarter of the machine's memory.
    void SetMemoryBudget(uint64_t bytes) { budgetBytes_ = bytes; }

private:
    void StartRun(PhotoList photos);
    // The worker thread: converts `photos` into `runFolder`, `workers` at a time.
    void ConversionWorker(PhotoList photos, std::string runFolder, bool notRename, std::string prefix, size_t workers);

    MainWindowModel& model_;
    std::thread worker_;
    std::function<std::time_t()> clock_;
    RunProgress::Clock progressClock_;
    uint64_t budgetBytes_;
};

}  // namespace tallowin
