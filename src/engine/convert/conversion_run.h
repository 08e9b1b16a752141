#pragma once
// The conversion run of the main window: the Convert/Stop button, the run folder
// named after the moment the run starts, and one worker thread that converts a
// snapshot of the photo list in list order, moves the progress bar and offers to
// open the run folder at the end.
//
// States: idle (flag 1, no worker), running (flag 0), stopping (flag 1 while the
// worker finishes its photo). Only one worker exists at a time: a click while a
// worker is still alive and already asked to stop does nothing.

#include "main_window_model.h"

#include <ctime>
#include <functional>
#include <string>
#include <thread>

namespace tallowin {

class ConversionRun {
public:
    explicit ConversionRun(MainWindowModel& model);
    // Waits for a worker that is still alive. Call only once the worker can finish
    // without the GUI thread (the window refuses to close while it is alive).
    ~ConversionRun();
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    // The Convert button: starts a run, or asks the running one to stop after the
    // photo in hand.
    void OnConvertClicked();
    // The "Retry failed" button: converts the photos that failed again, as a new run.
    void OnRetryFailedClicked();

    // Blocks until the current worker (if any) has ended. For tests and shutdown;
    // never from the GUI thread while the worker may wait on a message box.
    void WaitForWorker();

    // The clock the run folder is named by (tests fix it).
    void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

private:
    void StartRun();
    // The worker thread: converts `photos` in order into `runFolder`.
    void ConversionWorker(PhotoList photos, std::string runFolder, bool notRename, std::string prefix);

    MainWindowModel& model_;
    std::thread worker_;
    std::function<std::time_t()> clock_;
};

}  // namespace tallowin
