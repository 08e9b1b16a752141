#include "main_window_model.h"

#include "app_identity.h"
#include "desktop_paths.h"
#include "font_settings.h"
#include "integer_text.h"
#include "language.h"
#include "output_size.h"
#include "paths.h"
#include "settings_keys.h"
#include "settings_store.h"
#include "staged_file.h"
#include "temp_files.h"

#include <filesystem>
#include <system_error>

namespace tallowin {

namespace {

constexpr int kProgressStart = 0;

constexpr ControlId kPhotoButtons[] = {IDC_CONVERT, IDC_EDIT, IDC_UP, IDC_DOWN, IDC_DELETE, IDC_CLEAR};
constexpr ControlId kRenameControls[] = {IDC_PREFIX_LABEL, IDC_PREFIX, IDC_PREFIX_SUFFIX_LABEL};

}  // namespace

MainWindowModel::MainWindowModel(WindowPort& port, SettingsStore& store)
    : wdp(&wdpLibrary_), port_(port), store_(store), wdpLibrary_(port)
{
    LoadFontSettings(store_, stampFont_);
    stampColour_ = LoadStampColour(store_);
    renamePrefix = store_.GetProfileString(keys::kOption, keys::kBatchRenamer, "output.photo");
}

MainWindowModel::~MainWindowModel()
{
    if (codecToken != 0) GdiplusShutdown(codecToken);
}

// ---- Start and end ----

void MainWindowModel::Initialise(const std::string& libraryFolder)
{
    desktop::RemoveStaleTempFolders();
    if (codecToken == 0) {
        GdiplusStartupInput input;
        GdiplusStartup(&codecToken, &input, nullptr);
    }
    nameOrder = 0;
    timeOrder = 0;
    outputFolder = AddTrailingBackslash(DefaultOutputFolder());
    logFilePath = outputFolder + kLogFileName;
    plumbing::RemoveAbandonedStagedFilesBelow(outputFolder);
    port_.SetProgress(kProgressStart);
    EnablePhotoButtons(false);
    wdpLibrary_.LoadWdpCodecLibrary(libraryFolder.empty() ? desktop::ExecutableFolder() : libraryFolder);
    ExchangeToControls();
}

std::string MainWindowModel::DefaultOutputFolder()
{
    const std::string pictures = desktop::PicturesFolder();
    if (pictures.empty()) {
        port_.ShowMessage("Can not get My Pictures directory!", "Warning");
        return store_.GetProfileString(keys::kOption, keys::kPhotoOutputFolder, desktop::HomeFolder());
    }
    const std::string picturesFolder = AddTrailingBackslash(pictures);
    std::string folder = picturesFolder + kDefaultOutputFolderName;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        // The pictures folder itself may be missing on a fresh account: create it too.
        std::filesystem::create_directories(folder, ec);
        if (ec || !std::filesystem::is_directory(folder, ec)) {
            port_.ShowMessage("Can not create the directory", folder);
            folder = picturesFolder;
        }
    }
    return store_.GetProfileString(keys::kOption, keys::kPhotoOutputFolder, folder);
}

bool MainWindowModel::Exit()
{
    if (idle.load() == 0 || workerAlive.load()) {
        port_.ShowMessage("Please stop converting first", "Warning");
        return false;
    }
    ExchangeFromControls();  // a failure has shown its message; leaving goes on
    store_.WriteProfileString(keys::kOption, keys::kPhotoOutputFolder, outputFolder);
    SaveFontSettings(store_, StampFont());
    SaveStampColour(store_, StampColour());
    store_.WriteProfileString(keys::kOption, keys::kBatchRenamer, renamePrefix);
    port_.DropPreview();
    if (codecToken != 0) {
        GdiplusShutdown(codecToken);
        codecToken = 0;
    }
    UpdatePrompt(kProductPageUrl);
    return true;
}

bool MainWindowModel::CloseRequest()
{
    if (!Exit()) return false;
    wdpLibrary_.Release();
    return true;
}

// ---- Controls ----

void MainWindowModel::ExchangeToControls()
{
    port_.SetControlText(IDC_OUTPUT_FOLDER, outputFolder);
    port_.SetControlText(IDC_PREFIX, renamePrefix);
    port_.SetControlText(IDC_STAMP_X, std::to_string(stampX));
    port_.SetControlText(IDC_STAMP_Y, std::to_string(stampY));
}

bool MainWindowModel::ExchangeFromControls()
{
    outputFolder = port_.ControlText(IDC_OUTPUT_FOLDER);
    renamePrefix = port_.ControlText(IDC_PREFIX);
    // notRename follows the check box through ToggleNotRename.
    for (auto [id, member] : {std::pair{IDC_STAMP_X, &stampX}, std::pair{IDC_STAMP_Y, &stampY}}) {
        const std::optional<int32_t> value = ParseExchangeInteger(port_.ControlText(id));
        if (!value) {
            port_.ShowMessage("Enter an integer.", kApplicationTitle);
            return false;
        }
        *member = *value;
    }
    return true;
}

void MainWindowModel::OutputFolderChosen(const std::string& folder)
{
    outputFolder = AddTrailingBackslash(folder);
    // Only the folder's box: the other boxes keep what the user typed into them.
    port_.SetControlText(IDC_OUTPUT_FOLDER, outputFolder);
}

void MainWindowModel::ToggleNotRename()
{
    const bool enableRename = notRename != 0;
    for (ControlId id : kRenameControls) port_.EnableControl(id, enableRename);
    notRename = enableRename ? 0 : 1;
}

bool MainWindowModel::CheckTextPosition(int32_t maxX, int32_t maxY)
{
    const int32_t x = LeadingInteger(port_.ControlText(IDC_STAMP_X));
    const int32_t y = LeadingInteger(port_.ControlText(IDC_STAMP_Y));
    if (x >= maxX) {
        port_.ShowMessage(GetText(IDS_TEXT_X_TOO_BIG), GetText(IDS_WARNING));
        port_.SetControlText(IDC_STAMP_X, "0");
        stampX = 0;
    }
    if (y >= maxY) {
        port_.ShowMessage(GetText(IDS_TEXT_Y_TOO_BIG), GetText(IDS_WARNING));
        port_.SetControlText(IDC_STAMP_Y, "0");
        stampY = 0;
    }
    return true;
}

bool MainWindowModel::RefreshPhotoList()
{
    port_.PhotoListChanged();
    port_.SetControlText(IDC_TOTAL_PHOTOS, "Total photos: " + std::to_string(photos.size()));
    EnablePhotoButtons(!photos.empty());
    return true;
}

void MainWindowModel::EnablePhotoButtons(bool enable)
{
    for (ControlId id : kPhotoButtons) port_.EnableControl(id, enable);
}

// ---- Help, Update ----

std::string MainWindowModel::HelpPath() const { return desktop::ExecutableFolder() + kHelpStartPage; }

void MainWindowModel::Help() { port_.OpenWithDesktop(HelpPath()); }

namespace {
std::string BrowserFailureText()
{
    return std::string("The Program does not launch your web browser to access ") + kHomePageUrl +
           " ,\nPlease launch your web browser and input the URL manually.";
}
}  // namespace

void MainWindowModel::Update()
{
    if (!port_.OpenWithDesktop(kHomePageUrl)) port_.ShowMessage(BrowserFailureText(), "Unknown error");
}

bool MainWindowModel::UpdatePrompt(const std::string& address, std::time_t now)
{
    constexpr int64_t kReminderPeriod = 180LL * 24 * 60 * 60;  // 15,552,000 seconds
    // The store keeps the low 32 bits of the time.
    const auto stamp = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(now)));
    const int32_t stored = store_.GetProfileInt(keys::kSetup, keys::kFirstUpdate, stamp);
    if (stored == stamp) store_.WriteProfileInt(keys::kSetup, keys::kFirstUpdate, stamp);
    const int64_t due = int64_t{stored} + kReminderPeriod;
    if (due >= int64_t{stamp}) return true;

    const MessageAnswer answer =
        port_.ShowMessage("Do you want to check the lastest version on our website?", "Update the program",
                          MessageButtons::YesNo, MessageIcon::None, MessageOwner::None);
    if (answer == MessageAnswer::Yes && !port_.OpenWithDesktop(address))
        port_.ShowMessage(BrowserFailureText(), "unknown errors", MessageButtons::Ok, MessageIcon::None,
                          MessageOwner::None);
    store_.WriteProfileInt(keys::kSetup, keys::kFirstUpdate, stamp);
    return true;
}

// ---- Output size ----

bool MainWindowModel::ApplyOutputSize(PhotoRecord& photo) { return tallowin::ApplyOutputSize(photo, port_); }

bool MainWindowModel::AssignOutputSettings(PhotoRecord& photo)
{
    return tallowin::AssignOutputSettings(photo, m_outputPhotoFormat, port_);
}

// ---- Stamp font and colour ----

LOGFONTA MainWindowModel::StampFont() const
{
    std::lock_guard lock(stampMutex_);
    return stampFont_;
}

void MainWindowModel::SetStampFont(const LOGFONTA& font)
{
    std::lock_guard lock(stampMutex_);
    stampFont_ = font;
}

uint32_t MainWindowModel::StampColour() const
{
    std::lock_guard lock(stampMutex_);
    return stampColour_;
}

void MainWindowModel::SetStampColour(uint32_t colour)
{
    std::lock_guard lock(stampMutex_);
    stampColour_ = colour;
}

}  // namespace tallowin
