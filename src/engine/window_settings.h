#pragma once
// The values of the main window that its boxes show and the settings store keeps:
// the current output settings, the output folder, renaming and the stamp text and
// position.
// A plain value; the window model exchanges it with the controls.

#include "output_settings.h"

#include <cstdint>
#include <string>

namespace tallowin {

struct WindowSettings {
    OutputSettings current;      // what Options edits and newly added photos get
    std::string outputFolder;    // ends in '/' at start and after Browse
    std::string renamePrefix;    // stored as "m_batch_renamer"
    bool notRename = false;      // the "Not rename" box
    std::string stampText;       // the stamp box as read at Exit and shown at start
    int32_t stampX = 0;
    int32_t stampY = 0;
};

}  // namespace tallowin
