// The window's run with several workers, through a recording port: photos that end
// out of order still reach the user in list order (log lines, boxes, progress,
// statuses), Stop lets the photos in hand finish and starts no other, the closing
// question counts the outcomes, "Don't show again in this run", Retry failed, and the
// progress text with its time left.

#include "convert/conversion_run.h"
#include "convert_world.h"
#include "language.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <map>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

using namespace std::chrono_literals;

// Records, in one sequence, what the user sees: "log <message>", "box <caption>",
// "status <file name> <label>", "question <text>". The stamp's X box always reads -5,
// so every photo that gets as far as its stamp logs a line. `onStampRead` runs on the
// converting thread each time a photo reads the stamp text.
class RecordingPort : public FakeWindowPort {
public:
    std::string ControlText(ControlId id) override
    {
        if (id == IDC_STAMP_X) return "-5";
        if (id == IDC_STAMP_TEXT && onStampRead) onStampRead();
        return FakeWindowPort::ControlText(id);
    }
    void AddLogLine(const std::string& line) override
    {
        FakeWindowPort::AddLogLine(line);
        Note("log " + line.substr(line.find(' ', line.find(' ') + 1) + 1));  // without the time
    }
    bool ShowRunFailure(const std::string& text, const std::string& caption) override
    {
        FakeWindowPort::ShowMessage(text, caption, MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow);
        Note("box " + caption);
        return dontShowAgain.load();
    }
    MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                              MessageIcon icon, MessageOwner owner) override
    {
        Note("question " + text);
        return FakeWindowPort::ShowMessage(text, caption, buttons, icon, owner);
    }
    void SetProgressText(const std::string& text) override
    {
        const std::lock_guard lock(mutex_);
        progressTexts_.push_back(text);
    }
    void PhotoStatusesChanged() override
    {
        const std::lock_guard lock(mutex_);
        for (const PhotoRecord& photo : photos) {
            const PhotoState state = model->List().Statuses().Get(photo.id);
            if (shown_[photo.id] != state.status) {
                shown_[photo.id] = state.status;
                events_.push_back("status " + photo.fileName + " " + StatusLabel(state.status));
                if (onStatus) onStatus(photo, state.status);
            }
        }
    }

    std::vector<std::string> Events() const
    {
        const std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::string> ProgressTexts() const
    {
        const std::lock_guard lock(mutex_);
        return progressTexts_;
    }

    MainWindowModel* model = nullptr;
    PhotoList photos;  // the photos whose statuses are followed
    std::function<void()> onStampRead;
    std::function<void(const PhotoRecord&, PhotoStatus)> onStatus;
    std::atomic<bool> dontShowAgain{false};

private:
    void Note(const std::string& event)
    {
        const std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<std::string> progressTexts_;
    std::map<uint64_t, PhotoStatus> shown_;
};

class ParallelRunTest : public ConvertWorld {
protected:
    void SetUp() override
    {
        ConvertWorld::SetUp();
        store->WriteProfileInt("Option", "workers", 2);
        runModel = std::make_unique<MainWindowModel>(recording, *store);
        runModel->Settings().outputFolder = out.string() + "/";
        runModel->Settings().notRename = true;
        runModel->ExchangeToControls();
        recording.model = runModel.get();
        recording.Type(IDC_STAMP_TEXT, "A");
        run = std::make_unique<ConversionRun>(*runModel);
        run->SetClock([] { return TestMoment(9); });
    }
    void TearDown() override
    {
        run.reset();
        runModel.reset();
        ConvertWorld::TearDown();
    }

    // Adds src/<name> (a BMP of width x height) with a PNG output of 64 x 48; a photo
    // made `missing` is gone again before the run, so its conversion fails.
    void AddPhoto(const std::string& name, int width = 16, int height = 12, bool missing = false)
    {
        const fs::path file = Root() / "src" / name;
        fs::create_directories(file.parent_path());
        WriteColourBmp(file, width, height, {0x336699, 0xCCAA00, 0x10E020});
        OutputSettings s;
        s.nOuptputFormat = FormatPng;
        s.nOutputWidth = 64;
        s.nOutputHeight = 48;
        runModel->Settings().current = s;
        PhotoRecord photo;
        ASSERT_TRUE(runModel->AddPhotoFromFile(file.string(), photo));
        photo.settings.nOutputWidth = 64;
        photo.settings.nOutputHeight = 48;
        runModel->List().Append(photo);
        if (missing) fs::remove(file);
        recording.photos = runModel->Photos();
    }
    void Convert()
    {
        run->OnConvertClicked();
        run->WaitForWorker();
    }
    PhotoStatus StatusOf(size_t index) const
    {
        return runModel->List().Statuses().Get(runModel->Photos()[index].id).status;
    }
    fs::path RunFolder(int second = 9) const
    {
        return out / ("2024.03.07.14.05." + std::string(second < 10 ? "0" : "") + std::to_string(second));
    }
    // The list index of the photo an event is about, from its file name (p<i>.bmp).
    static int PhotoOf(const std::string& event)
    {
        const size_t at = event.find("/p");
        const size_t name = at != std::string::npos ? at + 2 : event.find(" p") + 2;
        return event[name] - '0';
    }

    RecordingPort recording;
    std::unique_ptr<MainWindowModel> runModel;
    std::unique_ptr<ConversionRun> run;
};

// Holds the first photo that reads its stamp until `files` other outputs stand in the
// run folder, so later photos end before it.
class FirstPhotoHeldBack {
public:
    FirstPhotoHeldBack(fs::path runFolder, std::vector<std::string> outputs, size_t files)
        : runFolder_(std::move(runFolder)), outputs_(std::move(outputs)), files_(files)
    {
    }
    void operator()()
    {
        if (reads_.fetch_add(1) != 0) return;
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (Written() < files_) {
            if (std::chrono::steady_clock::now() > deadline) {
                timedOut = true;
                return;
            }
            std::this_thread::sleep_for(5ms);
        }
    }
    std::atomic<bool> timedOut{false};

private:
    size_t Written() const
    {
        size_t count = 0;
        for (const std::string& name : outputs_) count += fs::exists(runFolder_ / name);
        return count;
    }
    fs::path runFolder_;
    std::vector<std::string> outputs_;
    size_t files_;
    std::atomic<int> reads_{0};
};

TEST_F(ParallelRunTest, PhotosThatEndOutOfOrderReachTheUserInListOrder)
{
    AddPhoto("p0.bmp", 900, 600);
    AddPhoto("p1.bmp");
    AddPhoto("p2.bmp", 300, 200);
    AddPhoto("p3.bmp", 16, 12, true);
    AddPhoto("p4.bmp");
    AddPhoto("p5.bmp", 16, 12, true);
    FirstPhotoHeldBack holdBack(RunFolder(), {"p0.png", "p1.png", "p2.png"}, 2);
    recording.onStampRead = std::ref(holdBack);
    Convert();
    ASSERT_FALSE(holdBack.timedOut.load());

    EXPECT_EQ(FilesIn(RunFolder()), (std::vector<std::string>{"p0.png", "p1.png", "p2.png", "p4.png"}));
    const std::vector<std::string> events = recording.Events();
    // Each photo's final status, its log lines and its box come after everything of the
    // photos before it.
    std::vector<std::string> finals;
    int last = -1;
    for (const std::string& event : events) {
        if (event.rfind("question ", 0) == 0 || event.find(" converting") != std::string::npos ||
            event.find(" waiting") != std::string::npos) {
            continue;
        }
        const int photo = PhotoOf(event);
        EXPECT_GE(photo, last) << event;
        last = std::max(last, photo);
        if (event.rfind("status ", 0) == 0) finals.push_back(event);
        if (event.rfind("box ", 0) == 0) {
            EXPECT_EQ(event, "box p" + std::to_string(photo) + ".bmp \u2014 Error");
        }
    }
    EXPECT_EQ(finals,
              (std::vector<std::string>{"status p0.bmp converted", "status p1.bmp converted", "status p2.bmp converted",
                                        "status p3.bmp failed", "status p4.bmp converted", "status p5.bmp failed"}));
    EXPECT_EQ(recording.MessageTexts(),
              (std::vector<std::string>{GetText(IDS_CONVERT_FAILED), GetText(IDS_CONVERT_FAILED),
                                        "The conversion is done. 4 converted, 0 converted in part, 2 failed, 0 "
                                        "skipped. Do you want to open the output folder?"}));
    EXPECT_EQ(recording.Progress(), (std::vector<int>{0, 0, 166, 333, 500, 666, 833, 999}));
    ASSERT_EQ(recording.ProgressTexts().size(), 7u);
    EXPECT_EQ(recording.ProgressTexts()[0], "1 of 6 \u00B7 p0.bmp");
    EXPECT_EQ(recording.ProgressTexts()[3].substr(0, 16), "4 of 6 \u00B7 p3.bmp");
    EXPECT_EQ(recording.ProgressTexts()[6], "");
    EXPECT_EQ(runModel->Run().idle.load(), 1);
    EXPECT_FALSE(runModel->Run().workerAlive.load());
}

// The second photo in hand asks for the stop while the first one waits for it.
TEST_F(ParallelRunTest, AStopLetsThePhotosInHandFinishAndStartsNoOther)
{
    for (int i = 0; i < 6; ++i) AddPhoto("p" + std::to_string(i) + ".bmp");
    std::mutex mutex;
    std::condition_variable secondRead;
    int reads = 0;
    recording.onStampRead = [&] {
        std::unique_lock lock(mutex);
        if (++reads == 2) {
            run->OnConvertClicked();  // Stop
            secondRead.notify_all();
        } else if (reads == 1) {
            secondRead.wait_for(lock, 60s, [&] { return reads >= 2; });
        }
    };
    Convert();

    EXPECT_EQ(FilesIn(RunFolder()), (std::vector<std::string>{"p0.png", "p1.png"}));
    EXPECT_EQ(StatusOf(0), PhotoStatus::Converted);
    EXPECT_EQ(StatusOf(1), PhotoStatus::Converted);
    for (size_t i = 2; i < 6; ++i) EXPECT_EQ(StatusOf(i), PhotoStatus::Waiting) << i;
    EXPECT_EQ(recording.Progress(), (std::vector<int>{0, 0, 166, 999}));
    EXPECT_EQ(recording.MessageTexts(),
              std::vector<std::string>{"The conversion was stopped: 2 of 6 photos written. 2 converted, 0 converted "
                                       "in part, 0 failed, 0 skipped. Do you want to open the output folder?"});
    EXPECT_EQ(recording.ControlText(IDC_CONVERT), "Convert");
}

TEST_F(ParallelRunTest, DontShowAgainLeavesTheLaterFailuresToTheLogAndTheStatus)
{
    AddPhoto("p0.bmp", 16, 12, true);
    AddPhoto("p1.bmp");
    AddPhoto("p2.bmp", 16, 12, true);
    AddPhoto("p3.bmp", 16, 12, true);
    recording.dontShowAgain = true;
    Convert();

    const std::vector<ShownMessage> shown = recording.Messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, GetText(IDS_CONVERT_FAILED));
    EXPECT_EQ(shown[0].caption, "p0.bmp \u2014 Error");
    EXPECT_EQ(shown[1].text,
              "The conversion is done. 1 converted, 0 converted in part, 3 failed, 0 skipped. Do "
              "you want to open the output folder?");
    EXPECT_EQ(FilesIn(RunFolder()), std::vector<std::string>{"p1.png"});
    for (const size_t failed : {0u, 2u, 3u}) {
        EXPECT_EQ(StatusOf(failed), PhotoStatus::Failed) << failed;
        EXPECT_FALSE(runModel->List().Statuses().Get(runModel->Photos()[failed].id).reason.empty()) << failed;
    }
    size_t logged = 0;
    for (const std::string& line : runModel->Log().Lines()) {
        logged += line.find("p2.bmp: " + GetText(IDS_CONVERT_FAILED)) != std::string::npos;
        logged += line.find("p3.bmp: " + GetText(IDS_CONVERT_FAILED)) != std::string::npos;
    }
    EXPECT_EQ(logged, 2u);
}

TEST_F(ParallelRunTest, TheClosingQuestionCountsEachOutcomeAndTheStatusesSayWhy)
{
    AddPhoto("p0.bmp");
    const fs::path cut = Source("generated/jpeg/bad/trunc_50pct_baseline.jpg", "p1.jpg");
    PhotoRecord inPart;
    ASSERT_TRUE(runModel->AddPhotoFromFile(cut.string(), inPart));
    runModel->List().Append(inPart);
    AddPhoto("p2.bmp", 16, 12, true);
    AddPhoto("p3.bmp");
    runModel->Photos()[3].settings.nOuptputFormat = 9;  // no such format: skipped
    Convert();

    ASSERT_FALSE(recording.MessageTexts().empty());
    EXPECT_EQ(recording.MessageTexts().back(),
              "The conversion is done. 1 converted, 1 converted in part, 1 failed, 1 "
              "skipped. Do you want to open the output folder?");
    const PhotoStatusBoard& board = runModel->List().Statuses();
    const PhotoList& photos = runModel->Photos();
    EXPECT_EQ(board.Get(photos[0].id), (PhotoState{PhotoStatus::Converted, {}}));
    EXPECT_EQ(board.Get(photos[1].id).status, PhotoStatus::ConvertedInPart);
    EXPECT_FALSE(board.Get(photos[1].id).reason.empty());
    EXPECT_EQ(board.Get(photos[2].id).status, PhotoStatus::Failed);
    EXPECT_EQ(board.Get(photos[3].id), (PhotoState{PhotoStatus::Skipped, "unknown output photo format"}));
}

TEST_F(ParallelRunTest, RetryFailedConvertsOnlyTheFailedPhotosInANewRunFolder)
{
    AddPhoto("p0.bmp");
    AddPhoto("p1.bmp", 16, 12, true);
    AddPhoto("p2.bmp");
    AddPhoto("p3.bmp", 16, 12, true);
    Convert();
    EXPECT_EQ(FilesIn(RunFolder()), (std::vector<std::string>{"p0.png", "p2.png"}));
    EXPECT_EQ(StatusOf(1), PhotoStatus::Failed);

    // The missing photos are back; the retry is a run of its own, a second later.
    WriteColourBmp(Root() / "src" / "p1.bmp", 16, 12, {0x102030});
    WriteColourBmp(Root() / "src" / "p3.bmp", 16, 12, {0x102030});
    run->SetClock([] { return TestMoment(10); });
    recording.ClearMessages();
    run->OnRetryFailedClicked();
    run->WaitForWorker();
    EXPECT_EQ(FilesIn(RunFolder(10)), (std::vector<std::string>{"p1.png", "p3.png"}));
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(StatusOf(i), PhotoStatus::Converted) << i;
    EXPECT_EQ(recording.MessageTexts(),
              std::vector<std::string>{"The conversion is done. 2 converted, 0 converted in part, 0 failed, 0 "
                                       "skipped. Do you want to open the output folder?"});

    // Nothing failed: no run.
    recording.ClearMessages();
    run->SetClock([] { return TestMoment(11); });
    run->OnRetryFailedClicked();
    run->WaitForWorker();
    EXPECT_TRUE(recording.Messages().empty());
    EXPECT_FALSE(fs::exists(RunFolder(11)));
}

TEST_F(ParallelRunTest, PhotosWithTheSameOutputConvertOneAfterTheOther)
{
    AddPhoto("a/p0.bmp", 600, 400);
    AddPhoto("b/p0.bmp");
    Convert();
    EXPECT_EQ(FilesIn(RunFolder()), std::vector<std::string>{"p0.png"});
    const auto texts = recording.MessageTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], (RunFolder() / "p0.png").string() + " exists. Do you want to replace it?");
    EXPECT_EQ(StatusOf(1), PhotoStatus::Skipped);
}

TEST_F(ParallelRunTest, APhotoBeyondTheMemoryBudgetStartsOnlyWhenTheOthersHaveEnded)
{
    for (int i = 0; i < 4; ++i) AddPhoto("p" + std::to_string(i) + ".bmp", 200, 150);
    run->SetMemoryBudget(1);  // every photo needs more than the whole budget
    std::vector<std::string> overlaps;
    recording.onStatus = [&](const PhotoRecord& photo, PhotoStatus status) {
        if (status != PhotoStatus::Converting) return;
        for (char earlier = '0'; earlier < photo.fileName[1]; ++earlier) {
            const std::string output = std::string("p") + earlier + ".png";
            if (!fs::exists(RunFolder() / output)) overlaps.push_back(photo.fileName + " beside " + output);
        }
    };
    Convert();
    EXPECT_EQ(FilesIn(RunFolder()), (std::vector<std::string>{"p0.png", "p1.png", "p2.png", "p3.png"}));
    EXPECT_TRUE(overlaps.empty()) << overlaps.front();
}

TEST_F(ParallelRunTest, TheProgressTextGivesTheTimeLeftFromThePace)
{
    store->WriteProfileInt("Option", "workers", 1);
    for (int i = 0; i < 3; ++i) AddPhoto("p" + std::to_string(i) + ".bmp");
    std::atomic<int64_t> seconds{0};
    run->SetProgressClock([&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(seconds.load())); });
    recording.onStampRead = [&] { seconds += 30; };  // each photo takes 30 s
    Convert();
    EXPECT_EQ(recording.ProgressTexts(),
              (std::vector<std::string>{"1 of 3 \u00B7 p0.bmp", "2 of 3 \u00B7 p1.bmp \u00B7 about 1 min left",
                                        "3 of 3 \u00B7 p2.bmp \u00B7 about 30 s left", ""}));
}

}  // namespace
}  // namespace tallowin::test
