// Times the window's conversion run over a folder of photos with different worker
// counts, interleaved round by round, through a port that answers every box (No to
// the closing question). Prints wall and CPU seconds per run (CPU of this process and
// of its decoder helpers), the medians, and each count's median wall time against the
// first count's.
//
//   window_run_bench [--workers 1,2] [--rounds 3] [--photos N] [--format jpg|png] FOLDER
//
// FOLDER: the photos to convert (every file the window can add, sorted by name), for
// example the corpus made by the shared benchmark's make-corpus.sh. The output is JPEG
// quality 85, 1024 wide keeping the aspect ratio (PNG with --format png).

#include "convert/conversion_run.h"
#include "gdiplus.h"
#include "main_window_model.h"
#include "settings_store.h"
#include "temp_files.h"
#include "window_port.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A port that shows nothing: boxes are answered (No to questions) and counted.
class AnsweringPort : public tallowin::WindowPort {
public:
    int failures = 0;
    tallowin::MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                                        tallowin::MessageButtons buttons, tallowin::MessageIcon,
                                        tallowin::MessageOwner) override
    {
        if (buttons == tallowin::MessageButtons::Ok) {
            ++failures;
            std::fprintf(stderr, "message: %s (%s)\n", text.c_str(), caption.c_str());
        }
        return buttons == tallowin::MessageButtons::Ok ? tallowin::MessageAnswer::Ok : tallowin::MessageAnswer::No;
    }
    // The boxes keep what the run writes into them (the output folder, the stamp position).
    std::string ControlText(tallowin::ControlId id) override
    {
        const std::lock_guard lock(mutex_);
        const auto found = controls_.find(id);
        return found == controls_.end() ? std::string() : found->second;
    }
    void SetControlText(tallowin::ControlId id, const std::string& text) override
    {
        const std::lock_guard lock(mutex_);
        controls_[id] = text;
    }
    void EnableControl(tallowin::ControlId, bool) override {}
    void SetProgress(int) override {}
    void AddLogLine(const std::string&) override {}
    void RemoveFirstLogLine() override {}
    void ClearLog() override {}
    void PhotoListChanged() override {}
    bool OpenWithDesktop(const std::string&) override { return false; }

private:
    std::mutex mutex_;
    std::map<tallowin::ControlId, std::string> controls_;
};

// CPU seconds of a process from /proc/<pid>/stat (user + system).
double ProcCpuSeconds(const std::string& pid)
{
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) user = std::stoull(field);
        if (i == 15) system = std::stoull(field);
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU seconds of this process, its live children (the decoder helpers) and its
// children that have ended.
double TreeCpuSeconds()
{
    double seconds = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        seconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/self/task", ec)) {
        std::ifstream children(task.path() / "children");
        std::string pid;
        while (children >> pid) seconds += ProcCpuSeconds(pid);
    }
    return seconds;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

std::vector<size_t> ParseCounts(const std::string& text)
{
    std::vector<size_t> counts;
    std::istringstream parts(text);
    std::string part;
    while (std::getline(parts, part, ',')) {
        if (const int n = std::atoi(part.c_str()); n > 0) counts.push_back(static_cast<size_t>(n));
    }
    return counts;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::vector<size_t> counts{1, 2};
    int rounds = 3;
    size_t limit = 0;
    std::string format = "jpg";
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--workers" && i + 1 < argc)
            counts = ParseCounts(argv[++i]);
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--photos" && i + 1 < argc)
            limit = static_cast<size_t>(std::max(0, std::atoi(argv[++i])));
        else if (arg == "--format" && i + 1 < argc)
            format = argv[++i];
        else
            folder = arg;
    }
    if (folder.empty() || !fs::is_directory(folder) || counts.empty()) {
        std::fprintf(stderr,
                     "usage: window_run_bench [--workers 1,2] [--rounds 3] [--photos N] [--format jpg|png] "
                     "FOLDER\n");
        return 2;
    }
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename().string().rfind("MANIFEST", 0) != 0) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());

    const fs::path work = fs::temp_directory_path() / ("window_run_bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "out");
    ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);  // leave the user's settings alone

    ULONG_PTR token = 0;
    GdiplusStartupInput input;
    GdiplusStartup(&token, &input, nullptr);
    int status = 0;
    {
        AnsweringPort port;
        tallowin::SettingsStore store((work / "config" / "bench.ini").string());
        tallowin::MainWindowModel model(port, store);
        model.Settings().outputFolder = (work / "out").string() + "/";
        model.Settings().notRename = true;
        model.ExchangeToControls();
        tallowin::OutputSettings settings;
        settings.nOuptputFormat = format == "png" ? tallowin::FormatPng : tallowin::FormatJpg;
        settings.nCurrentJpegQuality = 85;
        settings.nOutputWidth = 1024;
        settings.nOutputHeight = 768;
        model.Settings().current = settings;
        double megapixels = 0;
        for (const std::string& file : files) {
            if (limit != 0 && model.Photos().size() >= limit) break;
            tallowin::PhotoRecord photo;
            if (model.AddPhotoFromFile(file, photo)) {
                megapixels += static_cast<double>(photo.width) * photo.height / 1e6;
                model.List().Append(photo);
            }
        }
        std::printf("photos\t%zu (%.1f megapixels), %s output, %u cores\n", model.Photos().size(), megapixels,
                    format.c_str(), std::thread::hardware_concurrency());

        tallowin::ConversionRun run(model);
        std::time_t moment = std::time(nullptr);
        run.SetClock([&moment] { return moment; });
        std::vector<std::vector<double>> walls(counts.size()), cpus(counts.size());
        std::printf("round\tworkers\twall s\tcpu s\n");
        for (int round = 0; round < rounds; ++round) {
            for (size_t c = 0; c < counts.size(); ++c) {
                store.WriteProfileInt("Option", "workers", static_cast<int32_t>(counts[c]));
                ++moment;  // a run folder of its own
                const double cpuBefore = TreeCpuSeconds();
                const auto start = Clock::now();
                run.OnConvertClicked();
                run.WaitForWorker();
                const double wall = std::chrono::duration<double>(Clock::now() - start).count();
                const double cpu = TreeCpuSeconds() - cpuBefore;
                walls[c].push_back(wall);
                cpus[c].push_back(cpu);
                std::printf("%d\t%zu\t%.2f\t%.2f\n", round + 1, counts[c], wall, cpu);
                std::fflush(stdout);
                std::error_code ec;
                fs::remove_all(model.Run().runFolder, ec);
            }
        }
        std::printf("median\tworkers\twall s\tcpu s\twall / %zu workers\n", counts.front());
        const double base = Median(walls.front());
        for (size_t c = 0; c < counts.size(); ++c) {
            std::printf("\t%zu\t%.2f\t%.2f\t%.2f\n", counts[c], Median(walls[c]), Median(cpus[c]),
                        base > 0 ? Median(walls[c]) / base : 0.0);
        }
        if (port.failures != 0) {
            std::printf("failure boxes\t%d\n", port.failures);
            status = 1;
        }
    }
    GdiplusShutdown(token);
    tallowin::desktop::RemovePrivateTempFolder();
    std::error_code ec;
    fs::remove_all(work, ec);
    return status;
}
