#include "conversion_run.h"

#include "language.h"
#include "output_folder.h"
#include "output_names.h"
#include "paths.h"
#include "photo_converter.h"
#include "run_folder_watch.h"
#include "window_conversion_host.h"
#include "temp_files.h"

#include <sys/stat.h>

#include <system_error>

namespace tallowin {

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kProgressDone = 999;

bool IsDirectory(const std::string& path) {
    struct stat status{};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

ConversionRun::ConversionRun(MainWindowModel& model)
    : model_(model), clock_([] { return std::time(nullptr); }) {}

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
    StartRun();
}

void ConversionRun::OnRetryFailedClicked() {}

void ConversionRun::StartRun() {
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
    if (model_.Photos().empty()) {
        return;
    }

    // The worker converts this copy: list edits during the run are for the next one.
    // The run is marked active before the thread starts, so a second click at once
    // is a stop request and never a second worker.
    model_.Run().idle.store(0);
    model_.Run().workerAlive.store(true);
    try {
        worker_ = std::thread(&ConversionRun::ConversionWorker, this, model_.Photos(), runFolder,
                              model_.Settings().notRename, model_.Settings().renamePrefix);
    } catch (const std::system_error&) {
        model_.Run().workerAlive.store(false);
        model_.Run().idle.store(1);
        port.ShowMessage("can not begin thread!", "Error");
    }
}

void ConversionRun::ConversionWorker(PhotoList photos, std::string runFolder, bool notRename, std::string prefix) {
    WindowPort& port = model_.Port();
    port.SetControlText(IDC_CONVERT, "Stop");
    port.EnableControl(IDC_CONVERT, true);
    port.SetProgress(0);

    WindowConversionHost host(model_);
    PhotoConverter converter(host, desktop::PrivateTempFolder());
    const NamingRule rule{runFolder, notRename, prefix};
    const size_t count = photos.size();
    RunFolderWatch folderWatch(runFolder);
    for (size_t i = 0; i < count; ++i) {
        port.SetProgress(static_cast<int>(static_cast<double>(i) / static_cast<double>(count) * kProgressSteps));
        PhotoRecord& photo = photos[i];
        const std::string extension = OutputExtension(photo.settings.nOuptputFormat);
        if (extension.empty()) {
            model_.Log().Append("unknown output photo format!");
        }
        photo.outputPath = OutputPathFor(rule, photo, i, count, extension);
        if (!converter.ConvertPhoto(photo).Written() &&
            folderWatch.GoneAfterFailure([&port](const std::string& text) { port.ShowMessage(text, "Error"); })) {
            break;
        }
        if (model_.Run().idle.load() == 1) {
            break;
        }
    }

    model_.Run().idle.store(1);
    port.SetControlText(IDC_CONVERT, "Convert");
    model_.List().RunEnded();
    port.SetProgress(kProgressDone);
    // A folder that is gone cannot be opened: its message has said why the run ended.
    const MessageAnswer answer =
        folderWatch.Stopped()
            ? MessageAnswer::No
            : port.ShowMessage("The conversion is done. Do you want to open the output folder?", runFolder,
                               MessageButtons::YesNo, MessageIcon::Question, MessageOwner::None);
    if (answer == MessageAnswer::Yes) {
        port.OpenWithDesktop(runFolder);
    }
    // Last: from here on a click may start the next run and join this thread.
    model_.Run().workerAlive.store(false);
}

}  // namespace tallowin
