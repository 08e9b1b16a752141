#pragma once
// Folders the desktop names for the user and for the program.

#include <string>

namespace tallowin::desktop {

// The user's pictures folder (XDG_PICTURES_DIR, else ~/Pictures), without a trailing
// '/'. Empty when the desktop names none.
std::string PicturesFolder();

// The user's home folder, with a trailing '/'.
std::string HomeFolder();

// The folder of the running executable, with a trailing '/'. Empty when unknown.
std::string ExecutableFolder();

}  // namespace tallowin::desktop
