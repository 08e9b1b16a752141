#pragma once
// The window's current output settings in the settings store: written at Exit, read
// at the next start, so the last output options come back.

#include "output_settings.h"

namespace tallowin {

class SettingsStore;

// The stored output settings. Anything missing, or outside what the options can hold
// (an edited file), reads as the first start's value (FirstStartOutputSettings).
OutputSettings LoadOutputSettings(const SettingsStore& store);

// Stores every field of `settings` in section "Option". The WDP quality is stored as
// the user enters it (101 - nWdpEncoderParam).
void SaveOutputSettings(SettingsStore& store, const OutputSettings& settings);

}  // namespace tallowin
