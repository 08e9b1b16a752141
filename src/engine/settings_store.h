#pragma once
// The per-user settings store: sections of signed 32-bit integers and texts in an INI
// file (~/.config/Veltrane/Tallowin.conf), read with the caller's default for anything
// missing. Used from the main window's thread only.

#include <cstdint>
#include <memory>
#include <string>

class QSettings;

namespace tallowin {

class SettingsStore {
public:
    // The store of organisation "Veltrane", application "Tallowin", in the user's
    // configuration folder as XDG_CONFIG_HOME names it when the store is made.
    SettingsStore();
    // A store kept in `iniFile` (for tools and tests that need a store of their own).
    explicit SettingsStore(const std::string& iniFile);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The stored integer, or `defaultValue` when the entry is missing or holds no
    // integer of 32 bits.
    int32_t GetProfileInt(const std::string& section, const std::string& entry, int32_t defaultValue) const;
    // The stored text, or `defaultValue` when the entry is missing. A hand-edited text
    // with ',' or ';' and no quotes reads exactly as it stands in the file.
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) const;

    // Store a value (creating the section and entry) and write the file. False when the
    // file could not be written; the callers of the profile operations ignore it.
    bool WriteProfileInt(const std::string& section, const std::string& entry, int32_t value);
    bool WriteProfileString(const std::string& section, const std::string& entry, const std::string& value);

    // Path of the INI file.
    std::string FileName() const;

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace tallowin
