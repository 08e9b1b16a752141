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
#include "output_tree.h"
#include "paths.h"
#include "photo_reading.h"
#include "result_lines.h"
#include "settings_store.h"
#include "staged_file.h"
#include "temp_files.h"
#include "wdp_codec_library.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <thread>
#include <utility>

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

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The console port while photos are added, keeping the last message shown: the reason
// a file was not added, for the --json line.
class NotingPort final : public WindowPort {
public:
    explicit NotingPort(ConsolePort& console) : console_(console) {}

    MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                              MessageIcon icon, MessageOwner owner) override {
        if (buttons != MessageButtons::YesNo && buttons != MessageButtons::YesNoCancel) {
            lastMessage_ = text;
        }
        return console_.ShowMessage(text, caption, buttons, icon, owner);
    }
    std::string ControlText(ControlId id) override { return console_.ControlText(id); }
    void SetControlText(ControlId id, const std::string& text) override { console_.SetControlText(id, text); }
    void EnableControl(ControlId id, bool enabled) override { console_.EnableControl(id, enabled); }
    void SetProgress(int position) override { console_.SetProgress(position); }
    void AddLogLine(const std::string& line) override { console_.AddLogLine(line); }
    void RemoveFirstLogLine() override { console_.RemoveFirstLogLine(); }
    void ClearLog() override { console_.ClearLog(); }
    void PhotoListChanged() override { console_.PhotoListChanged(); }
    bool OpenWithDesktop(const std::string& pathOrUrl) override { return console_.OpenWithDesktop(pathOrUrl); }

    // Forgets the last message; TakeMessage returns it (empty when none came since).
    void Forget() { lastMessage_.clear(); }
    std::string TakeMessage() { return std::exchange(lastMessage_, {}); }

private:
    ConsolePort& console_;
    std::string lastMessage_;
};

class BatchRun {
public:
    explicit BatchRun(const BatchOptions& options)
        : options_(options),
          port_(options.overwrite, stderr, stdin),
          wdp_(port_),
          showProgress_(!options.quiet && isatty(STDERR_FILENO) != 0) {
        if (options.json) {
            json_.emplace(stdout);
        }
    }
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
    void AddFile(const std::string& path, const std::string& subfolder = {});
    void NotAdded(const std::string& path, const std::string& reason, double seconds);
    void ConvertAll(const std::string& runFolder);
    void Report(size_t photo, const ConversionOutcome& outcome, double seconds);
    ExitStatus Finish(const std::optional<std::string>& runFolder, const std::string& notConvertedReason,
                      bool failed = false);
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
    NotingPort addingPort_{port_};
    PhotoList photos_;
    std::vector<std::string> addedPaths_;  // the path each photo was added from
    std::vector<std::string> subfolders_;  // --keep-tree: each photo's folders below the run folder
    std::vector<std::string> notReady_;    // why a photo's folder could not be made; empty when ready
    std::optional<ResultLines> json_;      // --json
    std::vector<size_t> lineOfPhoto_;      // each photo's place among the --json lines
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
        const std::string text = outputFolder + ": Can not create the directory (" + reason + ")";
        port_.PrintError(text);
        return Finish(std::nullopt, text, true);
    }
    const std::string runFolder = RunFolderName(outputFolder, std::time(nullptr));
    if (!IsDirectory(runFolder) && mkdir(runFolder.c_str(), 0777) != 0) {
        const std::string text = runFolder + ": Can not create the directory";
        port_.PrintError(text);
        return Finish(std::nullopt, text, true);
    }

    // What killed runs left staged in the output folder's run folders goes first.
    plumbing::RemoveAbandonedStagedFilesBelow(outputFolder);
    ConvertAll(runFolder);
    desktop::RemovePrivateTempFolder();

    const bool kept = KeepRunFolderIfUsed(runFolder);
    if (kept && !json_) {
        std::fprintf(stdout, "%s\n", runFolder.c_str());
        std::fflush(stdout);
    }
    return Finish(kept ? std::optional<std::string>(runFolder) : std::nullopt, RunFolderWatch::GoneText(runFolder));
}

// The exit status; with --json, first a line for every photo the run did not reach
// (`notConvertedReason` says why) and the last line, the run folder's. `failed`: the
// run could not start.
ExitStatus BatchRun::Finish(const std::optional<std::string>& runFolder, const std::string& notConvertedReason,
                            bool failed) {
    if (json_) {
        for (size_t i = 0; i < photos_.size(); ++i) {
            if (!json_->Filled(lineOfPhoto_[i])) {
                PhotoResult result{addedPaths_[i], std::nullopt, "failed", notConvertedReason, 0};
                if (!photos_[i].outputPath.empty()) {
                    result.output = photos_[i].outputPath;
                }
                json_->Fill(lineOfPhoto_[i], result);
                ++failures_;
            }
        }
        json_->Finish(runFolder);
    }
    if (failed || failures_.load() != 0) {
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
        const std::string reason = "is a folder; add --recursive to search it for photos";
        port_.PrintError(path + ": " + reason);
        NotAdded(path, reason, 0);
        return;
    }
    std::vector<std::string> found;
    ConsolePort::SetCurrentPhoto({});
    addingPort_.Forget();
    const auto start = std::chrono::steady_clock::now();
    if (!CFileFindAll(addingPort_).FindPhotoFiles(path, found)) {
        NotAdded(path, addingPort_.TakeMessage(), SecondsSince(start));
    }
    // The searched folder as the search joins it with the names below it.
    const std::string root = AddTrailingBackslash(path);
    for (const std::string& file : found) {
        if (!options_.keepTree) {
            AddFile(file);
        } else if (const auto folder = FolderBelow(root, file)) {
            AddFile(file, *folder);
        } else {
            const std::string reason = "is not below the searched folder " + root;
            port_.PrintError(file + ": " + reason);
            NotAdded(file, reason, 0);
        }
    }
}

void BatchRun::AddFile(const std::string& path, const std::string& subfolder) {
    ConsolePort::SetCurrentPhoto(path);
    addingPort_.Forget();
    const auto start = std::chrono::steady_clock::now();
    PhotoRecord record;
    if (ReadPhotoFile(path, options_.settings, wdp_, addingPort_, record)) {
        photos_.push_back(record);
        addedPaths_.push_back(path);
        subfolders_.push_back(subfolder);
        if (json_) {
            lineOfPhoto_.push_back(json_->Reserve());
        }
        return;
    }
    std::string reason = addingPort_.TakeMessage();
    if (ConsolePort::FailuresOfCurrentPhoto() == 0 || reason.empty()) {
        const std::string text = AddFailureText(path);
        if (ConsolePort::FailuresOfCurrentPhoto() == 0) {
            port_.PrintError(path + ": " + text);
        }
        reason = text;
    }
    NotAdded(path, reason, SecondsSince(start));
}

// A path that gives no photo: a failure, and a --json line of its own in its place.
void BatchRun::NotAdded(const std::string& path, const std::string& reason, double seconds) {
    ++failures_;
    if (json_) {
        json_->Fill(json_->Reserve(), PhotoResult{path, std::nullopt, "not added", reason, seconds});
    }
}

void BatchRun::ConvertAll(const std::string& runFolder) {
    folderWatch_.emplace(runFolder);
    PhotoList& photos = photos_;
    NamingRule rule{runFolder, !options_.renamePrefix.has_value(), options_.renamePrefix.value_or("")};
    for (size_t i = 0; i < photos.size(); ++i) {
        // --keep-tree: the same name (or serial) as without it, in the photo's folders.
        rule.runFolder = subfolders_[i].empty() ? runFolder : runFolder + subfolders_[i] + "/";
        photos[i].outputPath =
            OutputPathFor(rule, photos[i], i, photos.size(), OutputExtension(photos[i].settings.nOuptputFormat));
    }
    // Folders are made before any photo is written, in list order, so what stands where
    // never depends on which photo a worker reaches first.
    OutputTree tree(runFolder);
    notReady_.assign(photos.size(), {});
    for (size_t i = 0; i < photos.size(); ++i) {
        if (!subfolders_[i].empty() && !tree.Make(subfolders_[i], notReady_[i])) {
            ConsolePort::SetCurrentPhoto(addedPaths_[i]);
            port_.PrintError(addedPaths_[i] + ": " + notReady_[i]);
            Count(ConversionOutcome::Failure(notReady_[i]));
            Report(i, ConversionOutcome::Failure(notReady_[i]), 0);
            done_.fetch_add(1);
        }
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
    tree.RemoveEmptyFolders();
}

// The --json line of photo `photo`.
void BatchRun::Report(size_t photo, const ConversionOutcome& outcome, double seconds) {
    if (json_) {
        json_->Fill(lineOfPhoto_[photo], PhotoResult{addedPaths_[photo], photos_[photo].outputPath,
                                                     StatusLabel(StatusAfter(outcome.kind)), outcome.reason, seconds});
    }
}

void BatchRun::ConvertGroups(BatchHost& host, const std::vector<std::vector<size_t>>& groups,
                             std::atomic<size_t>& nextGroup) {
    // Each worker keeps its fixed temporary names in a folder of its own.
    PhotoConverter converter(host, desktop::UniqueTempSubfolder());
    for (size_t g = nextGroup.fetch_add(1); g < groups.size() && !folderWatch_->Stopped();
         g = nextGroup.fetch_add(1)) {
        for (const size_t i : groups[g]) {
            if (!notReady_[i].empty()) {
                continue;  // its folder could not be made: failed already
            }
            ConsolePort::SetCurrentPhoto(addedPaths_[i]);
            ConversionOutcome outcome;
            double seconds = 0;
            {
                // Large photos never decode side by side beyond the machine's budget.
                const BudgetReservation reservation(memory_, MemoryBudget::CostOf(photos_[i]));
                const auto start = std::chrono::steady_clock::now();
                outcome = converter.ConvertPhoto(photos_[i]);
                seconds = SecondsSince(start);
            }
            Count(outcome);
            Report(i, outcome, seconds);
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
