#pragma once
// What a batch run needs beside the window's conversion: an output folder made on
// demand, no empty run folder left behind, and the reason a file was not added.

#include <string>

namespace tallowin::cli {

// Creates `folder` and its missing parents. False, with the system's reason in
// `reason`, when it cannot be made or is not a folder.
bool MakeOutputFolder(const std::string& folder, std::string& reason);

// Removes `runFolder` when nothing was written into it. True when it still stands
// afterwards (it holds files); false when it was removed or is gone.
bool KeepRunFolderIfUsed(const std::string& runFolder);

// Why `path` could not be added as a photo, as the codec service sees it:
// "can not be added: not a photo", "... over the size limit", ...
std::string AddFailureText(const std::string& path);

}  // namespace tallowin::cli
