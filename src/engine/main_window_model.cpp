#include "main_window_model.h"

#include "app_identity.h"
#include "desktop_paths.h"
#include "font_settings.h"
#include "integer_text.h"
#include "language.h"
#include "output_folder.h"
#include "output_settings_store.h"
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

constexpr ControlId kRenameControls[] = {IDC_PREFIX_LABEL, IDC_PREFIX, IDC_PREFIX_SUFFIX_LABEL};

}  // namespace

MainWindowModel::MainWindowModel(WindowPort& port, SettingsStore& store)
    : port_(port), store_(store), list_(port, run_), log_(port), wdpLibrary_(port)
{
    LOGFONTA font{};
    LoadFontSettings(store_, font);
    stamp_.SetFont(font);
    stamp_.SetColour(LoadStampColour(store_));
    settings_.renamePrefix = store_.GetProfileString(keys::kOption, keys::kBatchRenamer, "output.photo");
    settings_.current = LoadOutputSettings(store_);
    settings_.stampText = store_.GetProfileString(keys::kOption, keys::kStampText, "");
    settings_.stampX = store_.GetProfileInt(keys::kOption, keys::kStampX, 0);
    settings_.stampY = store_.GetProfileInt(keys::kOption, keys::kStampY, 0);
    keepPhotoInformation_.store(store_.GetProfileInt(keys::kOption, keys::kKeepPhotoInformation, 1) != 0);
    removeLocation_.store(store_.GetProfileInt(keys::kOption, keys::kRemoveLocation, 0) != 0);
}

MainWindowModel::~MainWindowModel()
{
    if (codecToken_ != 0) GdiplusShutdown(codecToken_);
}

void MainWindowModel::StartCodecService()
{
    if (codecToken_ == 0) {
        GdiplusStartupInput input;
        GdiplusStartup(&codecToken_, &input, nullptr);
    }
}

// ---- Start and end ----

void MainWindowModel::Initialise(const std::string& libraryFolder)
{
    desktop::RemoveStaleTempFolders();
    StartCodecService();
    list_.ResetSortOrder();
    settings_.outputFolder = AddTrailingBackslash(DefaultOutputFolder());
    log_.SetFilePath(settings_.outputFolder + kLogFileName);
    plumbing::RemoveAbandonedStagedFilesBelow(settings_.outputFolder);
    port_.SetProgress(kProgressStart);
    list_.EnableButtons(false);
    wdpLibrary_.LoadWdpCodecLibrary(libraryFolder.empty() ? desktop::ExecutableFolder() : libraryFolder);
    ExchangeToControls();
    port_.EnableControl(IDC_REMOVE_LOCATION, KeepPhotoInformation());
}

std::string MainWindowModel::DefaultOutputFolder() { return tallowin::DefaultOutputFolder(store_, port_); }

bool MainWindowModel::Exit()
{
    if (run_.Busy()) {
        port_.ShowMessage("Please stop converting first", "Warning");
        return false;
    }
    ExchangeFromControls();  // a failure has shown its message; leaving goes on
    // The stamp box is read for each photo while converting; here only for the store.
    settings_.stampText = port_.ControlText(IDC_STAMP_TEXT);
    // An emptied box is no folder: the next start keeps the one stored before.
    if (!settings_.outputFolder.empty())
        store_.WriteProfileString(keys::kOption, keys::kPhotoOutputFolder, settings_.outputFolder);
    SaveFontSettings(store_, stamp_.Font());
    SaveStampColour(store_, stamp_.Colour());
    store_.WriteProfileString(keys::kOption, keys::kBatchRenamer, settings_.renamePrefix);
    SaveOutputSettings(store_, settings_.current);
    store_.WriteProfileString(keys::kOption, keys::kStampText, settings_.stampText);
    store_.WriteProfileInt(keys::kOption, keys::kStampX, settings_.stampX);
    store_.WriteProfileInt(keys::kOption, keys::kStampY, settings_.stampY);
    store_.WriteProfileInt(keys::kOption, keys::kKeepPhotoInformation, KeepPhotoInformation() ? 1 : 0);
    store_.WriteProfileInt(keys::kOption, keys::kRemoveLocation, RemoveLocation() ? 1 : 0);
    port_.DropPreview();
    if (codecToken_ != 0) {
        GdiplusShutdown(codecToken_);
        codecToken_ = 0;
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
    port_.SetControlText(IDC_OUTPUT_FOLDER, settings_.outputFolder);
    port_.SetControlText(IDC_PREFIX, settings_.renamePrefix);
    port_.SetControlText(IDC_STAMP_TEXT, settings_.stampText);
    port_.SetControlText(IDC_STAMP_X, std::to_string(settings_.stampX));
    port_.SetControlText(IDC_STAMP_Y, std::to_string(settings_.stampY));
}

bool MainWindowModel::ExchangeFromControls()
{
    settings_.outputFolder = port_.ControlText(IDC_OUTPUT_FOLDER);
    settings_.renamePrefix = port_.ControlText(IDC_PREFIX);
    // notRename follows the check box through ToggleNotRename.
    for (auto [id, member] : {std::pair{IDC_STAMP_X, &settings_.stampX}, std::pair{IDC_STAMP_Y, &settings_.stampY}}) {
        const std::optional<int32_t> value = ParseExchangeInteger(port_.ControlText(id));
        if (!value) {
            port_.ShowMessage("Enter an integer.", kApplicationTitle, MessageButtons::Ok, MessageIcon::Warning);
            return false;
        }
        *member = *value;
    }
    return true;
}

void MainWindowModel::OutputFolderChosen(const std::string& folder)
{
    settings_.outputFolder = AddTrailingBackslash(folder);
    // Only the folder's box: the other boxes keep what the user typed into them.
    port_.SetControlText(IDC_OUTPUT_FOLDER, settings_.outputFolder);
}

void MainWindowModel::ToggleNotRename()
{
    const bool enableRename = settings_.notRename;
    for (ControlId id : kRenameControls) port_.EnableControl(id, enableRename);
    settings_.notRename = !enableRename;
}

void MainWindowModel::SetKeepPhotoInformation(bool keep)
{
    keepPhotoInformation_.store(keep);
    port_.EnableControl(IDC_REMOVE_LOCATION, keep);
}

metadata::MetadataOptions MainWindowModel::PhotoInformation() const
{
    metadata::MetadataOptions options;
    options.keepMetadata = KeepPhotoInformation();
    options.removeLocation = RemoveLocation();
    return options;
}

bool MainWindowModel::CheckTextPosition(int32_t maxX, int32_t maxY)
{
    const int32_t x = LeadingInteger(port_.ControlText(IDC_STAMP_X));
    const int32_t y = LeadingInteger(port_.ControlText(IDC_STAMP_Y));
    if (x >= maxX) {
        port_.ShowMessage(GetText(IDS_TEXT_X_TOO_BIG), GetText(IDS_WARNING));
        port_.SetControlText(IDC_STAMP_X, "0");
        settings_.stampX = 0;
    }
    if (y >= maxY) {
        port_.ShowMessage(GetText(IDS_TEXT_Y_TOO_BIG), GetText(IDS_WARNING));
        port_.SetControlText(IDC_STAMP_Y, "0");
        settings_.stampY = 0;
    }
    return true;
}

// ---- Help, Update ----

std::string MainWindowModel::HelpPath() const { return desktop::ExecutableFolder() + kHelpStartPage; }

void MainWindowModel::Help()
{
    if (!port_.OpenWithDesktop(HelpPath())) port_.ShowMessage("Can not open the help file " + HelpPath(), "Error");
}

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

// ---- Options ----

void MainWindowModel::Options(const OptionsDialog& dialog)
{
    const std::optional<OutputSettings> chosen = dialog(settings_.current);
    if (!chosen) return;
    settings_.current = *chosen;
    if (list_.Photos().empty()) return;
    const MessageAnswer answer = port_.ShowMessage("Do you want to change all output settings of photos?", "Question",
                                                   MessageButtons::YesNo, MessageIcon::Question);
    if (answer == MessageAnswer::Yes) list_.AssignToAll(settings_.current);
    list_.Refresh();
}

}  // namespace tallowin
