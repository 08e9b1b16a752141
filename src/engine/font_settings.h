#pragma once
// The text stamp's font and colour in the settings store (section "CurrentFont").

#include "gdiplus.h"  // LOGFONTA

#include <cstdint>
#include <string>

namespace tallowin {

class SettingsStore;

// The font with every entry missing: height -13, weight 400, the default face.
LOGFONTA DefaultStampFont();

// Fills the font from the store, key by key, each missing key taking its default. The
// 8-bit fields keep the low 8 bits of the stored integer; a face name longer than 31
// bytes is cut at the last whole character that fits. lfQuality is not stored: 0.
void LoadFontSettings(const SettingsStore& store, LOGFONTA& font);

// Writes every stored field of the font under its key, then the face name.
void SaveFontSettings(SettingsStore& store, const LOGFONTA& font);

// The stamp colour, 0x00BBGGRR; black when missing.
uint32_t LoadStampColour(const SettingsStore& store);
void SaveStampColour(SettingsStore& store, uint32_t colour);

// Copies a face name into lfFaceName, cut to 31 bytes at a character boundary.
void SetFaceName(LOGFONTA& font, const std::string& faceName);
// The face name of a font (up to its terminator).
std::string FaceName(const LOGFONTA& font);

}  // namespace tallowin
