#include "output_folder.h"

#include "app_identity.h"
#include "desktop_paths.h"
#include "paths.h"
#include "settings_keys.h"
#include "settings_store.h"

#include <filesystem>
#include <system_error>

namespace tallowin {

namespace {

// The stored folder, or `fallback` when none is stored. An empty entry is no folder
// (it would turn into "/").
std::string StoredOr(const SettingsStore& store, const std::string& fallback)
{
    const std::string stored = store.GetProfileString(keys::kOption, keys::kPhotoOutputFolder, fallback);
    return stored.empty() ? fallback : stored;
}

}  // namespace

std::string DefaultOutputFolder(const SettingsStore& store, WindowPort& port)
{
    const std::string pictures = desktop::PicturesFolder();
    if (pictures.empty()) {
        port.ShowMessage("Can not get My Pictures directory!", "Warning");
        return StoredOr(store, desktop::HomeFolder());
    }
    const std::string picturesFolder = AddTrailingBackslash(pictures);
    std::string folder = picturesFolder + kDefaultOutputFolderName;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        // The pictures folder itself may be missing on a fresh account: create it too.
        std::filesystem::create_directories(folder, ec);
        if (ec || !std::filesystem::is_directory(folder, ec)) {
            port.ShowMessage("Can not create the directory", folder);
            folder = picturesFolder;
        }
    }
    return StoredOr(store, folder);
}

std::string OutputFolderRefusal(const std::string& folder)
{
    if (folder.empty()) return "Please enter an output folder, or choose one with Browse.";
    if (folder.front() != '/')
        return "The output folder must be a full path, starting with \"/\":\n" + folder;
    return {};
}

}  // namespace tallowin
