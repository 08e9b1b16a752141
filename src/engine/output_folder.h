#pragma once
// The folder that conversion runs write into.

#include "window_port.h"

#include <string>

namespace tallowin {

class SettingsStore;

// The stored "photo_output_folder", whose default is the "Pictavo" folder under the
// user's pictures folder (created when missing; problems are shown through the port).
// A stored empty folder counts as none.
std::string DefaultOutputFolder(const SettingsStore& store, WindowPort& port);

// Why a typed output folder cannot take a run, or empty when it can: it must be given,
// and as a full path (a relative one would depend on the folder the program started in).
std::string OutputFolderRefusal(const std::string& folder);

}  // namespace tallowin
