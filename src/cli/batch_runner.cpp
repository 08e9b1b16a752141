#include "batch_runner.h"

#include "desktop_paths.h"
#include "file_find_all.h"
#include "font_settings.h"
#include "main_window_model.h"
#include "convert/output_names.h"
#include "paths.h"
#include "convert/photo_converter.h"
#include "settings_store.h"
#include "staged_file.h"
#include "temp_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <map>
#include <thread>

namespace tallowin::cli {

namespace {

bool IsDirectory(const std::string& path) {
    struct stat status{};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Photos that share an output path are converted one after the other in list order
// (the later one meets the earlier one's file and the overwrite question, as in the
// window); different paths are converted at once.
std::vector<std::vector<size_t>> GroupByOutputPath(const PhotoList& photos) {
    std::vector<std::vector<size_t>> groups;
    std::map<std::string, size_t> groupOfPath;
    for (size_t i = 0; i < photos.size(); ++i) {
        const auto [found, added] = groupOfPath.emplace(photos[i].outputPath, groups.size());
        if (added) {
            groups.emplace_back();
        }
        groups[found->second].push_back(i);
    }
    return groups;
}

class BatchRun {
public:
    explicit BatchRun(const BatchOptions& options)
        : options_(options),
          port_(options.overwrite, stderr, stdin),
          model_(port_, store_),
          showProgress_(!options.quiet && isatty(STDERR_FILENO) != 0) {}

    ExitStatus Run();

private:
    void ApplyStamp();
    void AddPath(const std::string& path);
    void AddFile(const std::string& path);
    void ConvertAll(const std::string& runFolder);
    void ConvertGroups(const std::vector<std::vector<size_t>>& groups, std::atomic<size_t>& nextGroup);
    void ShowProgress(size_t done, const std::string& path);

    const BatchOptions& options_;
    ConsolePort port_;
    SettingsStore store_;
    MainWindowModel model_;
    bool showProgress_;
    std::vector<std::string> addedPaths_;  // the path each photo was added from
    std::atomic<size_t> failures_{0};
    std::atomic<size_t> done_{0};
};

ExitStatus BatchRun::Run() {
    GdiplusStartupInput input;
    GdiplusStartup(&model_.codecToken, &input, nullptr);
    desktop::RemoveStaleTempFolders();
    model_.m_outputPhotoFormat = options_.settings;

    const bool needsWdp = options_.settings.nOuptputFormat == FormatWdp || options_.recursive ||
                          std::any_of(options_.paths.begin(), options_.paths.end(),
                                      [](const std::string& p) { return ExtensionOf(p) == "wdp"; });
    if (needsWdp) {
        model_.wdp->LoadWdpCodecLibrary(desktop::ExecutableFolder());
    }

    for (const std::string& path : options_.paths) {
        AddPath(path);
    }

    model_.outputFolder =
        AddTrailingBackslash(options_.outputFolder ? *options_.outputFolder : model_.DefaultOutputFolder());
    const std::string runFolder = RunFolderName(model_.outputFolder, std::time(nullptr));
    model_.runFolder = runFolder;
    if (!IsDirectory(runFolder) && mkdir(runFolder.c_str(), 0777) != 0) {
        port_.PrintError(runFolder + ": Can not create the directory");
        return kExitSomeFailed;
    }

    // What killed runs left staged in the output folder's run folders goes first.
    plumbing::RemoveAbandonedStagedFilesBelow(model_.outputFolder);
    ApplyStamp();
    ConvertAll(runFolder);
    desktop::RemovePrivateTempFolder();

    std::fprintf(stdout, "%s\n", runFolder.c_str());
    std::fflush(stdout);
    return failures_.load() == 0 ? kExitAllConverted : kExitSomeFailed;
}

void BatchRun::ApplyStamp() {
    const StampOptions& stamp = options_.stamp;
    port_.SetControlText(IDC_STAMP_TEXT, stamp.text);
    port_.SetControlText(IDC_STAMP_X, std::to_string(stamp.x));
    port_.SetControlText(IDC_STAMP_Y, std::to_string(stamp.y));
    LOGFONTA font = model_.StampFont();
    if (stamp.family) {
        SetFaceName(font, *stamp.family);
    }
    if (stamp.pixels) {
        font.lfHeight = -*stamp.pixels;  // negative: the em height in pixels
    }
    model_.SetStampFont(font);
    if (stamp.colour) {
        model_.SetStampColour(*stamp.colour);
    }
}

void BatchRun::AddPath(const std::string& path) {
    if (!IsDirectory(path)) {
        AddFile(path);
        return;
    }
    if (!options_.recursive) {
        port_.PrintError(path + ": is a folder; add --recursive to search it for photos");
        ++failures_;
        return;
    }
    std::vector<std::string> found;
    ConsolePort::SetCurrentPhoto({});
    if (!CFileFindAll(port_).FindPhotoFiles(path, found)) {
        ++failures_;
    }
    for (const std::string& file : found) {
        AddFile(file);
    }
}

void BatchRun::AddFile(const std::string& path) {
    ConsolePort::SetCurrentPhoto(path);
    PhotoRecord record;
    if (model_.AddPhotoFromFile(path, record)) {
        model_.photos.push_back(record);
        addedPaths_.push_back(path);
        return;
    }
    if (ConsolePort::FailuresOfCurrentPhoto() == 0) {
        port_.PrintError(path + ": can not be added (not a photo, or unreadable)");
    }
    ++failures_;
}

void BatchRun::ConvertAll(const std::string& runFolder) {
    PhotoList& photos = model_.photos;
    const NamingRule rule{runFolder, !options_.renamePrefix.has_value(), options_.renamePrefix.value_or("")};
    for (size_t i = 0; i < photos.size(); ++i) {
        photos[i].outputPath =
            OutputPathFor(rule, photos[i], i, photos.size(), OutputExtension(photos[i].settings.nOuptputFormat));
    }
    const auto groups = GroupByOutputPath(photos);
    const size_t workers = std::min<size_t>(options_.jobs, groups.size());
    std::atomic<size_t> nextGroup{0};
    std::vector<std::thread> threads;
    for (size_t k = 1; k < workers; ++k) {
        threads.emplace_back([&] { ConvertGroups(groups, nextGroup); });
    }
    if (workers > 0) {
        ConvertGroups(groups, nextGroup);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (showProgress_ && !photos.empty()) {
        port_.EndProgress();
    }
}

void BatchRun::ConvertGroups(const std::vector<std::vector<size_t>>& groups, std::atomic<size_t>& nextGroup) {
    // Each worker keeps its fixed temporary names in a folder of its own.
    PhotoConverter converter(model_, desktop::UniqueTempSubfolder());
    for (size_t g = nextGroup.fetch_add(1); g < groups.size(); g = nextGroup.fetch_add(1)) {
        for (const size_t i : groups[g]) {
            const PhotoRecord& photo = model_.photos[i];
            ConsolePort::SetCurrentPhoto(addedPaths_[i]);
            const bool result = converter.ConvertPhoto(photo);
            const ConversionOutcome outcome = converter.LastOutcome();
            const bool written = outcome == ConversionOutcome::Converted || outcome == ConversionOutcome::Damaged;
            if (!result || !written || ConsolePort::FailuresOfCurrentPhoto() != 0) {
                ++failures_;
            }
            ShowProgress(done_.fetch_add(1) + 1, addedPaths_[i]);
        }
    }
}

void BatchRun::ShowProgress(size_t done, const std::string& path) {
    if (showProgress_) {
        char counter[48];
        std::snprintf(counter, sizeof counter, "[%zu/%zu] ", done, model_.photos.size());
        port_.ShowProgressLine(counter + FileNameOf(path));
    }
}

}  // namespace

ExitStatus RunBatch(const BatchOptions& options) { return BatchRun(options).Run(); }

}  // namespace tallowin::cli
