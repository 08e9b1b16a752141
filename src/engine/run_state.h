#pragma once
// Where the window's conversion run stands. The flags are shared by the window's
// thread and the worker.

#include <atomic>
#include <string>

namespace tallowin {

struct RunState {
    std::atomic<int> idle{1};              // 1: no run, or a stop was asked; 0: a run is active
    std::atomic<bool> workerAlive{false};  // a worker thread exists (set by the conversion run)
    std::string runFolder;                 // the folder of the current or last run, ends in '/'

    // A run is going and has not been asked to stop: Convert reads "Stop".
    bool Active() const { return idle.load() == 0; }
    // A run is going or its worker is still finishing: the window may not close.
    bool Busy() const { return Active() || workerAlive.load(); }
};

}  // namespace tallowin
