#include "conversion_run.h"

#include "language.h"
#include "memory_budget.h"
#include "ordered_run.h"
#include "output_folder.h"
#include "output_names.h"
#include "paths.h"
#include "photo_converter.h"
#include "run_folder_watch.h"
#include "run_summary.h"
#include "settings_keys.h"
#include "settings_store.h"
#include "temp_files.h"
#include "window_conversion_host.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace tallowin {

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kProgressDone = 999;
constexpr int32_t kMostWorkers = 64;
// Photos that may have ended and wait for their handover, per worker: enough to keep
// the workers busy behind a slow photo, few enough that the list's statuses keep up.
constexpr size_t kLookaheadPerWorker = 4;

bool IsDirectory(const std::string& path) {
    struct stat status{};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

size_t WindowRunWorkers(const SettingsStore& store)
{
    const int32_t cores = static_cast<int32_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
    const int32_t stored = store.GetProfileInt(keys::kOption, keys::kWorkers, cores);
    return static_cast<size_t>(stored < 1 ? cores : std::min(stored, kMostWorkers));
}

ConversionRun::ConversionRun(MainWindowModel& model)
    : model_(model), clock_([] { return std::time(nullptr); }),
      progressClock_([] { return std::chrono::steady_clock::now(); }), budgetBytes_(MemoryBudget::DefaultBytes())
{
}

ConversionRun::~ConversionRun() { WaitForWorker(); }

void ConversionRun::WaitForWorker() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

void ConversionRun::OnConvertClicked() {
    if (model_.Run().workerAlive.load()) {
        // Running: ask for a stop. Stopping: the worker is finishing; nothing to do.
        model_.Run().idle.store(1);
        return;
    }
    // The last worker has returned from its final step; collect its thread.
    WaitForWorker();
    StartRun(model_.Photos());
}

void ConversionRun::OnRetryFailedClicked()
{
    if (model_.Run().workerAlive.load()) {
        return;
    }
    WaitForWorker();
    PhotoList failed;
    for (const PhotoRecord& photo : model_.Photos()) {
        if (model_.List().Statuses().Get(photo.id).status == PhotoStatus::Failed) {
            failed.push_back(photo);
        }
    }
    if (!failed.empty()) {
        StartRun(std::move(failed));
    }
}

void ConversionRun::StartRun(PhotoList photos)
{
    WindowPort& port = model_.Port();
    // The boxes as they stand now, the output folder first: a folder typed since the last
    // run is this run's folder.
    model_.ExchangeFromControls();
    if (const std::string refusal = OutputFolderRefusal(model_.Settings().outputFolder); !refusal.empty()) {
        port.ShowMessage(refusal, GetText(IDS_WARNING), MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    // A prefix that would write outside the run folder stops the run before anything is made.
    if (const std::string problem = RenamePrefixProblem(model_.Settings().renamePrefix);
        !model_.Settings().notRename && !problem.empty()) {
        port.ShowMessage(problem, "Error");
        return;
    }
    // Always a folder inside the output folder, typed with a trailing '/' or not.
    const std::string runFolder = RunFolderName(AddTrailingBackslash(model_.Settings().outputFolder), clock_());
    model_.Run().runFolder = runFolder;
    if (!IsDirectory(runFolder) && mkdir(runFolder.c_str(), 0777) != 0) {
        port.ShowMessage("Can not create the directory", runFolder);
        return;
    }
    model_.Log().Clear();
    const OutputSettings& current = model_.Settings().current;
    model_.CheckTextPosition(current.nOutputWidth, current.nOutputHeight);
    if (photos.empty()) {
        return;
    }
    for (const PhotoRecord& photo : photos) {
        model_.List().Statuses().Set(photo.id, {PhotoStatus::Waiting, {}});
    }
    port.PhotoStatusesChanged();

    // The worker converts this copy: list edits during the run are for the next one.
    // The run is marked active before the thread starts, so a second click at once
    // is a stop request and never a second worker.
    const size_t workers = WindowRunWorkers(model_.Store());
    model_.Run().idle.store(0);
    model_.Run().workerAlive.store(true);
    try {
        worker_ = std::thread(&ConversionRun::ConversionWorker, this, std::move(photos), runFolder,
                              model_.Settings().notRename, model_.Settings().renamePrefix, workers);
    } catch (const std::system_error&) {
        model_.Run().workerAlive.store(false);
        model_.Run().idle.store(1);
        port.ShowMessage("can not begin thread!", "Error");
    }
}

void ConversionRun::ConversionWorker(PhotoList photos, std::string runFolder, bool notRename, std::string prefix,
                                     size_t workers)
{
    WindowPort& port = model_.Port();
    port.SetControlText(IDC_CONVERT, "Stop");
    port.EnableControl(IDC_CONVERT, true);
    port.SetProgress(0);

    // Every name is fixed before any photo starts, as in a run of one photo at a time.
    const NamingRule rule{runFolder, notRename, prefix};
    const size_t count = photos.size();
    std::vector<bool> unknownFormat(count);
    std::vector<std::string> outputPaths(count);
    for (size_t i = 0; i < count; ++i) {
        const std::string extension = OutputExtension(photos[i].settings.nOuptputFormat);
        unknownFormat[i] = extension.empty();
        photos[i].outputPath = OutputPathFor(rule, photos[i], i, count, extension);
        outputPaths[i] = photos[i].outputPath;
    }
    const std::vector<std::optional<size_t>> earlierSameOutput = EarlierSameOutput(outputPaths);

    WindowConversionHost window(model_);
    RunFolderWatch folderWatch(runFolder);
    MemoryBudget budget(budgetBytes_);
    RunProgress progress(progressClock_);
    progress.Start();
    RunSummary summary;
    summary.total = count;
    const auto setStatus = [&](const PhotoRecord& photo, PhotoStatus status, std::string reason) {
        model_.List().Statuses().Set(photo.id, {status, std::move(reason)});
        port.PhotoStatusesChanged();
    };

    PhotoOrder::Events events;
    events.started = [&](size_t i) { setStatus(photos[i], PhotoStatus::Converting, {}); };
    events.step = [&](size_t i) {
        port.SetProgress(static_cast<int>(static_cast<double>(i) / static_cast<double>(count) * kProgressSteps));
        port.SetProgressText(progress.Text(i + 1, count, photos[i].fileName));
    };
    events.handOver = [&](size_t i, EndedPhoto& ended) {
        for (const std::string& line : ended.lines) {
            window.Log(line);
        }
        summary.Count(ended.outcome.kind);
        setStatus(photos[i], StatusAfter(ended.outcome.kind), ended.outcome.reason);
        if (!ended.outcome.Written() &&
            folderWatch.GoneAfterFailure([&port](const std::string& text) { port.ShowMessage(text, "Error"); })) {
            // The photos still in hand fail the same way; the message has said why.
            window.SilenceFailureBoxes();
        }
    };
    PhotoOrder order(count, std::move(events));

    const auto convertOne = [&](size_t i, const std::string& tempFolder) {
        if (const std::optional<size_t> earlier = earlierSameOutput[i]) {
            // The earlier photo's file must stand before this one looks for it.
            order.WaitHandedOver(*earlier);
        }
        PhotoTurnHost host(window, order, i, photos[i].fileName);
        if (unknownFormat[i]) {
            host.Log("unknown output photo format!");
        }
        ConversionOutcome outcome = PhotoConverter(host, tempFolder).ConvertPhoto(photos[i]);
        budget.Release(MemoryBudget::CostOf(photos[i]));
        progress.PhotoEnded();
        order.Ended(i, {std::move(outcome), host.TakeLines()});
    };
    // Each worker keeps its fixed temporary names in a folder of its own; one worker
    // uses the private folder itself, as the run always did.
    const auto workerLoop = [&](const std::string& tempFolder) {
        while (const std::optional<size_t> next = order.NextToConvert()) {
            convertOne(*next, tempFolder);
        }
    };
    std::vector<std::thread> threads;
    std::vector<std::string> tempFolders;
    for (size_t k = 0; k < workers; ++k) {
        tempFolders.push_back(workers == 1 ? desktop::PrivateTempFolder() : desktop::UniqueTempSubfolder());
        try {
            threads.emplace_back(workerLoop, tempFolders.back());
        } catch (const std::system_error&) {
            break;  // fewer workers
        }
    }
    // Without a thread of its own the photos convert here, one at a time.
    const bool convertHere = threads.empty();
    const size_t running = convertHere ? 1 : threads.size();

    const auto stopAsked = [&] { return model_.Run().idle.load() == 1 || folderWatch.Stopped(); };
    for (size_t i = 0; i < count; ++i) {
        // The first photo is converted whatever happens; a stop takes effect between photos.
        if (i > 0) {
            order.WaitForRoom(running, running * kLookaheadPerWorker);
            if (stopAsked()) {
                break;
            }
        }
        // Admission in list order: a photo waits here for memory only while photos before
        // it convert, so whatever it waits for needs nothing of it.
        budget.Acquire(MemoryBudget::CostOf(photos[i]));
        if (i > 0 && stopAsked()) {
            budget.Release(MemoryBudget::CostOf(photos[i]));
            break;
        }
        order.Start(i);
        if (convertHere) {
            convertOne(*order.NextToConvert(), tempFolders.front());
        }
    }
    order.CloseQueue();
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (workers > 1) {
        for (const std::string& folder : tempFolders) {
            std::error_code ignored;
            if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
        }
    }
    const bool stopped = order.StartedCount() < count;

    model_.Run().idle.store(1);
    port.SetControlText(IDC_CONVERT, "Convert");
    model_.List().RunEnded();
    port.SetProgress(kProgressDone);
    port.SetProgressText({});
    // A folder that is gone cannot be opened: its message has said why the run ended.
    const MessageAnswer answer = folderWatch.Stopped()
        ? MessageAnswer::No
        : port.ShowMessage(ClosingQuestion(summary, stopped), runFolder, MessageButtons::YesNo, MessageIcon::Question,
                           MessageOwner::None);
    if (answer == MessageAnswer::Yes) {
        port.OpenWithDesktop(runFolder);
    }
    // Last: from here on a click may start the next run and join this thread.
    model_.Run().workerAlive.store(false);
}

}  // namespace tallowin
