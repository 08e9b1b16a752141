#include "font_settings.h"

#include "settings_keys.h"
#include "settings_store.h"

#include <cstring>

namespace tallowin {

namespace {

constexpr int32_t kDefaultHeight = -13;
constexpr int32_t kDefaultWeight = 400;  // normal
constexpr size_t kFaceNameCapacity = sizeof(LOGFONTA::lfFaceName) - 1;

uint8_t LowByte(int32_t value) { return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFFu); }

// The longest prefix of `text` of at most `limit` bytes that does not end inside a
// UTF-8 sequence.
size_t Utf8PrefixLength(const std::string& text, size_t limit)
{
    if (text.size() <= limit) return text.size();
    size_t length = limit;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0u) == 0x80u) --length;
    return length;
}

}  // namespace

LOGFONTA DefaultStampFont()
{
    LOGFONTA font{};
    font.lfHeight = kDefaultHeight;
    font.lfWeight = kDefaultWeight;
    return font;
}

void SetFaceName(LOGFONTA& font, const std::string& faceName)
{
    std::memset(font.lfFaceName, 0, sizeof font.lfFaceName);
    // A stored name may hold a NUL; the face name ends there.
    const std::string name = faceName.substr(0, faceName.find('\0'));
    std::memcpy(font.lfFaceName, name.data(), Utf8PrefixLength(name, kFaceNameCapacity));
}

std::string FaceName(const LOGFONTA& font)
{
    return std::string(font.lfFaceName, strnlen(font.lfFaceName, sizeof font.lfFaceName));
}

void LoadFontSettings(const SettingsStore& store, LOGFONTA& font)
{
    using namespace keys;
    font.lfHeight = store.GetProfileInt(kCurrentFont, kLfHeight, kDefaultHeight);
    font.lfWidth = store.GetProfileInt(kCurrentFont, kLfWidth, 0);
    font.lfEscapement = store.GetProfileInt(kCurrentFont, kLfEscapement, 0);
    font.lfOrientation = store.GetProfileInt(kCurrentFont, kLfOrientation, 0);
    font.lfWeight = store.GetProfileInt(kCurrentFont, kLfWeight, kDefaultWeight);
    font.lfItalic = LowByte(store.GetProfileInt(kCurrentFont, kLfItalic, 0));
    font.lfUnderline = LowByte(store.GetProfileInt(kCurrentFont, kLfUnderline, 0));
    font.lfStrikeOut = LowByte(store.GetProfileInt(kCurrentFont, kLfStrikeOut, 0));
    font.lfCharSet = LowByte(store.GetProfileInt(kCurrentFont, kLfCharSet, 0));
    font.lfOutPrecision = LowByte(store.GetProfileInt(kCurrentFont, kLfOutPrecision, 0));
    font.lfClipPrecision = LowByte(store.GetProfileInt(kCurrentFont, kLfClipPrecision, 0));
    font.lfQuality = 0;
    font.lfPitchAndFamily = LowByte(store.GetProfileInt(kCurrentFont, kLfPitchAndFamily, 0));
    SetFaceName(font, store.GetProfileString(kCurrentFont, kLfFaceName, ""));
}

void SaveFontSettings(SettingsStore& store, const LOGFONTA& font)
{
    using namespace keys;
    store.WriteProfileInt(kCurrentFont, kLfHeight, font.lfHeight);
    store.WriteProfileInt(kCurrentFont, kLfWidth, font.lfWidth);
    store.WriteProfileInt(kCurrentFont, kLfEscapement, font.lfEscapement);
    store.WriteProfileInt(kCurrentFont, kLfOrientation, font.lfOrientation);
    store.WriteProfileInt(kCurrentFont, kLfWeight, font.lfWeight);
    store.WriteProfileInt(kCurrentFont, kLfItalic, font.lfItalic);
    store.WriteProfileInt(kCurrentFont, kLfUnderline, font.lfUnderline);
    store.WriteProfileInt(kCurrentFont, kLfStrikeOut, font.lfStrikeOut);
    store.WriteProfileInt(kCurrentFont, kLfCharSet, font.lfCharSet);
    store.WriteProfileInt(kCurrentFont, kLfOutPrecision, font.lfOutPrecision);
    store.WriteProfileInt(kCurrentFont, kLfClipPrecision, font.lfClipPrecision);
    store.WriteProfileInt(kCurrentFont, kLfPitchAndFamily, font.lfPitchAndFamily);
    store.WriteProfileString(kCurrentFont, kLfFaceName, FaceName(font));
}

uint32_t LoadStampColour(const SettingsStore& store)
{
    return static_cast<uint32_t>(store.GetProfileInt(keys::kCurrentFont, keys::kCurrentColor, 0));
}

void SaveStampColour(SettingsStore& store, uint32_t colour)
{
    store.WriteProfileInt(keys::kCurrentFont, keys::kCurrentColor, static_cast<int32_t>(colour));
}

}  // namespace tallowin
