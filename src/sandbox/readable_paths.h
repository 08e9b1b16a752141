#pragma once
// Limits which files the process can open to those beneath a few folders (Landlock),
// for helpers whose system-call filter has to allow opening files (the fonts).

#include <string>
#include <vector>

namespace tallowin::sandbox {

// From now on files and folders can be opened only beneath `roots`, for reading, and
// none can be written, made or removed anywhere. Folders that do not exist are skipped.
// False with a reason when the kernel refused; true without effect when it has no
// Landlock (the system-call filter still refuses every writing open).
bool RestrictOpensTo(const std::vector<std::string>& roots, std::string& error);

}  // namespace tallowin::sandbox
