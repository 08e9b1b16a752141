#include "batch_runner.h"

#include "batch_support.h"
#include "convert/memory_budget.h"
#include "convert/run_folder_watch.h"
#include "convert/run_progress.h"
#include "batch_host.h"
#include "convert/output_names.h"
#include "convert/photo_converter.h"
#include "desktop_paths.h"
#include "file_find_all.h"
#include "font_settings.h"
#include "output_folder.h"
#include "paths.h"
#include "photo_reading.h"
#include "settings_store.h"
#include "staged_file.h"
#include "temp_files.h"
#include "wdp_codec_library.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
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
          wdp_(port_),
          showProgress_(!options.quiet && isatty(STDERR_FILENO) != 0) {}
    ~BatchRun() {
        if (codecToken_ != 0) {
            GdiplusShutdown(codecToken_);
        }
    }
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    ExitStatus Run();

private:
    StampRequest Stamp() const;
    void AddPath(const std::string& path);
    void AddFile(const std::string& path);
    void ConvertAll(const std::string& runFolder);
    void ConvertGroups(BatchHost& host, const std::vector<std::vector<size_t>>& groups,
                       std::atomic<size_t>& nextGroup);
    void Count(const ConversionOutcome& outcome);
    void ShowProgress(size_t done, const std::string& path);

    const BatchOptions& options_;
    ConsolePort port_;
    SettingsStore store_;
    WdpCodecLibrary wdp_;
    ULONG_PTR codecToken_ = 0;
    bool showProgress_;
    PhotoList photos_;
    std::vector<std::string> addedPaths_;  // the path each photo was added from
    std::atomic<size_t> failures_{0};      // photos not added, or not converted
    std::atomic<size_t> inPart_{0};        // photos converted from a source that decoded in part
    std::atomic<size_t> done_{0};
    RunProgress progress_;  // the pace of the photos that have ended, for the progress line
    std::optional<RunFolderWatch> folderWatch_;  // stops the run when the run folder goes away
    MemoryBudget memory_{MemoryBudget::DefaultBytes()};  // shared by the workers
};

ExitStatus BatchRun::Run() {
    GdiplusStartupInput input;
    GdiplusStartup(&codecToken_, &input, nullptr);
    desktop::RemoveStaleTempFolders();

    const bool needsWdp = options_.settings.nOuptputFormat == FormatWdp || options_.recursive ||
                          std::any_of(options_.paths.begin(), options_.paths.end(),
                                      [](const std::string& p) { return ExtensionOf(p) == "wdp"; });
    if (needsWdp) {
        wdp_.LoadWdpCodecLibrary(desktop::ExecutableFolder());
    }

    for (const std::string& path : options_.paths) {
        AddPath(path);
    }

    const std::string outputFolder =
        AddTrailingBackslash(options_.outputFolder ? *options_.outputFolder : DefaultOutputFolder(store_, port_));
    if (std::string reason; !MakeOutputFolder(outputFolder, reason)) {
        port_.PrintError(outputFolder + ": Can not create the directory (" + reason + ")");
        return kExitSomeFailed;
    }
    const std::string runFolder = RunFolderName(outputFolder, std::time(nullptr));
    if (!IsDirectory(runFolder) && mkdir(runFolder.c_str(), 0777) != 0) {
        port_.PrintError(runFolder + ": Can not create the directory");
        return kExitSomeFailed;
    }

    // What killed runs left staged in the output folder's run folders goes first.
    plumbing::RemoveAbandonedStagedFilesBelow(outputFolder);
    ConvertAll(runFolder);
    desktop::RemovePrivateTempFolder();

    if (KeepRunFolderIfUsed(runFolder)) {
        std::fprintf(stdout, "%s\n", runFolder.c_str());
        std::fflush(stdout);
    }
    if (failures_.load() != 0) {
        return kExitSomeFailed;
    }
    return inPart_.load() == 0 ? kExitAllConverted : kExitSomeInPart;
}

// The options' stamp over the stored font and colour.
StampRequest BatchRun::Stamp() const {
    const StampOptions& options = options_.stamp;
    StampRequest stamp;
    stamp.text = options.text;
    stamp.x = options.x;
    stamp.y = options.y;
    LoadFontSettings(store_, stamp.font);
    if (options.family) {
        SetFaceName(stamp.font, *options.family);
    }
    if (options.pixels) {
        stamp.font.lfHeight = -*options.pixels;  // negative: the em height in pixels
    }
    stamp.colour = options.colour.value_or(LoadStampColour(store_));
    return stamp;
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
    if (ReadPhotoFile(path, options_.settings, wdp_, port_, record)) {
        photos_.push_back(record);
        addedPaths_.push_back(path);
        return;
    }
    if (ConsolePort::FailuresOfCurrentPhoto() == 0) {
        port_.PrintError(path + ": " + AddFailureText(path));
    }
    ++failures_;
}

void BatchRun::ConvertAll(const std::string& runFolder) {
    folderWatch_.emplace(runFolder);
    PhotoList& photos = photos_;
    const NamingRule rule{runFolder, !options_.renamePrefix.has_value(), options_.renamePrefix.value_or("")};
    for (size_t i = 0; i < photos.size(); ++i) {
        photos[i].outputPath =
            OutputPathFor(rule, photos[i], i, photos.size(), OutputExtension(photos[i].settings.nOuptputFormat));
    }
    const auto groups = GroupByOutputPath(photos);
    const size_t workers = std::min<size_t>(options_.jobs, groups.size());
    std::atomic<size_t> nextGroup{0};
    BatchHost host(port_, Stamp(), wdp_.IsLoaded() ? &wdp_ : nullptr, options_.information);
    std::vector<std::thread> threads;
    for (size_t k = 1; k < workers; ++k) {
        threads.emplace_back([&] { ConvertGroups(host, groups, nextGroup); });
    }
    if (workers > 0) {
        ConvertGroups(host, groups, nextGroup);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (showProgress_ && !photos.empty()) {
        port_.EndProgress();
    }
}

void BatchRun::ConvertGroups(BatchHost& host, const std::vector<std::vector<size_t>>& groups,
                             std::atomic<size_t>& nextGroup) {
    // Each worker keeps its fixed temporary names in a folder of its own.
    PhotoConverter converter(host, desktop::UniqueTempSubfolder());
    for (size_t g = nextGroup.fetch_add(1); g < groups.size() && !folderWatch_->Stopped();
         g = nextGroup.fetch_add(1)) {
        for (const size_t i : groups[g]) {
            ConsolePort::SetCurrentPhoto(addedPaths_[i]);
            ConversionOutcome outcome;
            {
                // Large photos never decode side by side beyond the machine's budget.
                const BudgetReservation reservation(memory_, MemoryBudget::CostOf(photos_[i]));
                outcome = converter.ConvertPhoto(photos_[i]);
            }
            Count(outcome);
            ShowProgress(done_.fetch_add(1) + 1, addedPaths_[i]);
            if (!outcome.Written() &&
                folderWatch_->GoneAfterFailure([this](const std::string& text) { port_.PrintError(text); })) {
                return;
            }
        }
    }
}

// The outcome decides, not the lines shown on the way: a warning alone fails nothing.
void BatchRun::Count(const ConversionOutcome& outcome) {
    switch (outcome.kind) {
        case OutcomeKind::Converted: break;
        case OutcomeKind::ConvertedInPart: ++inPart_; break;
        case OutcomeKind::Failed:
        case OutcomeKind::Skipped: ++failures_; break;  // a kept file is not this run's photo
    }
}

void BatchRun::ShowProgress(size_t done, const std::string& path) {
    if (showProgress_) {
        // "3 of 32 · beach.jpg · about 2 min left", the pace measured from the first photo that ended.
        port_.ShowProgressLine(progress_.EndedLine(done, photos_.size(), FileNameOf(path)));
    }
}

}  // namespace

ExitStatus RunBatch(const BatchOptions& options) { return BatchRun(options).Run(); }

}  // namespace tallowin::cli
