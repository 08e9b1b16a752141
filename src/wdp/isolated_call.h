#pragma once
// Runs a piece of work in a child process, so that a fault inside a third-party
// decoder fed a hostile file ends that child instead of the program that loaded us.

#include <functional>

namespace tallowin::wdp {

// True when the work ran to completion and returned true. A crash, a signal or a
// failed fork count as failure. The work must leave its result in a file: nothing it
// changes in memory reaches the caller.
bool RunIsolated(const std::function<bool()>& work);

}  // namespace tallowin::wdp
