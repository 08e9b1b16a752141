#pragma once
// Runs a piece of work in a child process, so that a fault inside a third-party
// decoder fed a hostile file ends that child instead of the program that loaded us.

#include <chrono>
#include <functional>

namespace tallowin::wdp {

// True when the work ran to completion within `limit` and returned true. A crash, a
// signal, a failed fork or running out of time (the child is then killed) count as
// failure. The work must leave its result in a file or in shared memory: nothing else
// it changes in memory reaches the caller. Whatever the work writes to the standard
// output and error streams is discarded.
bool RunIsolated(const std::function<bool()>& work, std::chrono::milliseconds limit);

}  // namespace tallowin::wdp
