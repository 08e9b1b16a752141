#include "output_folder.h"

#include "app_identity.h"
#include "desktop_paths.h"
#include "paths.h"
#include "settings_keys.h"
#include "settings_store.h"

#include <filesystem>
#include <system_error>

namespace tallowin {

std::string DefaultOutputFolder(const SettingsStore& store, WindowPort& port)
{
    const std::string pictures = desktop::PicturesFolder();
    if (pictures.empty()) {
        port.ShowMessage("Can not get My Pictures directory!", "Warning");
        return store.GetProfileString(keys::kOption, keys::kPhotoOutputFolder, desktop::HomeFolder());
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
    return store.GetProfileString(keys::kOption, keys::kPhotoOutputFolder, folder);
}

std::string OutputFolderRefusal(const std::string& folder)
{
    if (folder.empty()) return "Please enter an output folder, or choose one with Browse.";
    if (folder.front() != '/')
        return "The output folder must be a full path, starting with \"/\":\n" + folder;
    return {};
}

}  // namespace tallowin
