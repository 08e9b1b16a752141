// The overwrite question's five answers: the numbered name "Keep both" claims, the
// answers "to all" a run remembers (also when several threads ask), and the window's
// run and the converter acting on them.

#include "convert/conversion_run.h"
#include "convert/photo_converter.h"
#include "convert/replace_question.h"
#include "convert/window_conversion_host.h"
#include "convert_world.h"
#include "temp_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <deque>
#include <thread>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

TEST(NumberedName, TheNumberGoesBeforeTheExtensionOfTheFileNameOnly) {
    EXPECT_EQ(NumberedName("/out/run/photo.jpg", 2), "/out/run/photo (2).jpg");
    EXPECT_EQ(NumberedName("/out/run/photo.tar.gz", 3), "/out/run/photo.tar (3).gz");
    EXPECT_EQ(NumberedName("/out/run.d/photo", 2), "/out/run.d/photo (2)");
    EXPECT_EQ(NumberedName("/out/run/.hidden", 2), "/out/run/.hidden (2)");
    EXPECT_EQ(NumberedName("/out/run/photo (2).jpg", 2), "/out/run/photo (2) (2).jpg");
    EXPECT_EQ(NumberedName("photo.", 12), "photo (12).");
}

class FreeNameTest : public TestWorld {};

TEST_F(FreeNameTest, TheFirstFreeNumberIsClaimedAndNeverHandedOutTwice) {
    WriteFile("out/photo.jpg", "old");
    WriteFile("out/photo (2).jpg", "older");
    const std::string path = Path("out/photo.jpg").string();
    EXPECT_EQ(ClaimFreeNameBeside(path), Path("out/photo (3).jpg").string());
    EXPECT_EQ(ClaimFreeNameBeside(path), Path("out/photo (4).jpg").string());  // (3) is claimed now
    EXPECT_EQ(fs::file_size(Path("out/photo (3).jpg")), 0u);
    EXPECT_EQ(ReadFile(Path("out/photo (2).jpg")), "older");
}

TEST_F(FreeNameTest, AFolderWithoutRoomGivesNoName) {
    EXPECT_EQ(ClaimFreeNameBeside(Path("missing/photo.jpg").string()), "");
    for (int n = 2; n <= 1000; ++n) WriteFile("full/a (" + std::to_string(n) + ").png", "");
    EXPECT_EQ(ClaimFreeNameBeside(Path("full/a.png").string()), "");
}

// Answers from a script; counts the questions.
class ScriptedQuestions {
public:
    explicit ScriptedQuestions(std::deque<ReplaceChoice> choices) : choices_(std::move(choices)) {}
    ReplaceChoice operator()() {
        ++asked;
        const ReplaceChoice next = choices_.front();
        choices_.pop_front();
        return next;
    }
    int asked = 0;

private:
    std::deque<ReplaceChoice> choices_;
};

TEST(ReplaceMemory, OnlyTheAnswersToAllStandForTheLaterQuestions) {
    ReplaceMemory memory;
    ScriptedQuestions ask({ReplaceChoice::Yes, ReplaceChoice::No, ReplaceChoice::KeepBoth, ReplaceChoice::NoToAll});
    const auto answer = [&] { return memory.Answer(std::ref(ask)); };
    EXPECT_EQ(answer(), ReplaceAnswer::Replace);
    EXPECT_EQ(answer(), ReplaceAnswer::Keep);
    EXPECT_EQ(answer(), ReplaceAnswer::KeepBoth);
    EXPECT_EQ(answer(), ReplaceAnswer::Keep);
    EXPECT_EQ(answer(), ReplaceAnswer::Keep);
    EXPECT_EQ(answer(), ReplaceAnswer::Keep);
    EXPECT_EQ(ask.asked, 4);

    ReplaceMemory yesToAll;
    ScriptedQuestions once({ReplaceChoice::YesToAll});
    EXPECT_EQ(yesToAll.Answer(std::ref(once)), ReplaceAnswer::Replace);
    EXPECT_EQ(yesToAll.Answer(std::ref(once)), ReplaceAnswer::Replace);
    EXPECT_EQ(once.asked, 1);
}

TEST(ReplaceMemory, ThreadsAskingAtOnceMeetOneQuestion) {
    ReplaceMemory memory;
    std::atomic<int> asked{0};
    std::atomic<int> replaced{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            const ReplaceAnswer answer = memory.Answer([&] {
                asked.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return ReplaceChoice::YesToAll;
            });
            if (answer == ReplaceAnswer::Replace) replaced.fetch_add(1);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(asked.load(), 1);
    EXPECT_EQ(replaced.load(), 8);
}

// A window port that answers the overwrite question from a script and records it.
class ReplacePort : public FakeWindowPort {
public:
    ReplaceChoice AskReplace(const std::string& text, const std::string& caption) override {
        std::lock_guard lock(mutex_);
        questions.push_back(text + " | " + caption);
        const ReplaceChoice next = choices.empty() ? ReplaceChoice::No : choices.front();
        if (!choices.empty()) choices.pop_front();
        return next;
    }
    std::deque<ReplaceChoice> choices;
    std::vector<std::string> questions;

private:
    std::mutex mutex_;
};

class ReplaceAnswerTest : public ConvertWorld {
protected:
    void SetUp() override {
        ConvertWorld::SetUp();
        replaceModel = std::make_unique<MainWindowModel>(replacePort, *store);
    }
    void TearDown() override {
        replaceModel.reset();
        ConvertWorld::TearDown();
    }
    // Converts `photo` through a window host on `replacePort`.
    ConversionOutcome Convert(const PhotoRecord& photo) {
        WindowConversionHost host(*replaceModel);
        PhotoConverter converter(host, desktop::PrivateTempFolder());
        return converter.ConvertPhoto(photo);
    }
    OutputSettings Png() const {
        OutputSettings s;
        s.nOuptputFormat = FormatPng;
        s.nOutputWidth = 8;
        return s;
    }
    ReplacePort replacePort;
    std::unique_ptr<MainWindowModel> replaceModel;
};

TEST_F(ReplaceAnswerTest, KeepBothWritesBesideTheOldFileAndTheNumberedOnesBeforeIt) {
    const fs::path source = Root() / "src" / "tiny.bmp";
    WriteColourBmp(source, 8, 6, {0x336699});
    const PhotoRecord photo = Added(source, Png(), out / "tiny.png");
    WriteFile("out/tiny.png", "old bytes");
    WriteFile("out/tiny (2).png", "older bytes");

    replacePort.choices = {ReplaceChoice::KeepBoth};
    const ConversionOutcome outcome = Convert(photo);
    EXPECT_EQ(outcome.kind, OutcomeKind::Converted);
    EXPECT_EQ(outcome.writtenAs, (out / "tiny (3).png").string());
    EXPECT_EQ(Identify(out / "tiny (3).png"), "PNG 8 6 8");
    EXPECT_EQ(ReadFile(out / "tiny.png"), "old bytes");
    EXPECT_EQ(ReadFile(out / "tiny (2).png"), "older bytes");
    // The question keeps its text and caption; the log says where the photo went.
    EXPECT_EQ(replacePort.questions,
              std::vector<std::string>{(out / "tiny.png").string() + " exists. Do you want to replace it? | Warning"});
    ASSERT_EQ(replaceModel->Log().Lines().size(), 1u);
    EXPECT_NE(replaceModel->Log().Lines()[0].find("written as " + (out / "tiny (3).png").string()), std::string::npos);
}

TEST_F(ReplaceAnswerTest, AFailedKeepBothLeavesNoEmptyNumberedFile) {
    const fs::path source = Root() / "src" / "tiny.bmp";
    WriteColourBmp(source, 8, 6, {0x336699});
    const PhotoRecord photo = Added(source, Png(), out / "tiny.png");
    WriteFile("out/tiny.png", "old bytes");
    fs::remove(source);

    replacePort.choices = {ReplaceChoice::KeepBoth};
    EXPECT_EQ(Convert(photo).kind, OutcomeKind::Failed);
    EXPECT_EQ(FilesIn(out), std::vector<std::string>{"tiny.png"});
}

TEST_F(ReplaceAnswerTest, TheDefaultPortAsksYesOrNoAsBefore) {
    const fs::path source = Root() / "src" / "tiny.bmp";
    WriteColourBmp(source, 8, 6, {0x336699});
    const PhotoRecord photo = Added(source, Png(), out / "tiny.png");
    WriteFile("out/tiny.png", "old bytes");
    WindowConversionHost host(*model);  // on the plain scripted port
    PhotoConverter converter(host, desktop::PrivateTempFolder());
    port.QueueAnswer(MessageAnswer::Yes);
    EXPECT_EQ(converter.ConvertPhoto(photo).kind, OutcomeKind::Converted);
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(port.Messages()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(port.Messages()[0].owner, MessageOwner::MainWindow);
    EXPECT_EQ(Identify(out / "tiny.png"), "PNG 8 6 8");
}

// Runs of four photos with the same title ("Not rename"): the first writes tiny.png,
// the other three meet it.
class ReplaceRunTest : public ReplaceAnswerTest {
protected:
    fs::path RunWith(std::deque<ReplaceChoice> choices) {
        MainWindowModel& runModel = *replaceModel;
        runModel.Settings().outputFolder = out.string() + "/";
        runModel.Settings().notRename = true;
        runModel.ExchangeToControls();
        const fs::path source = Root() / "src" / "tiny.bmp";
        WriteColourBmp(source, 8, 6, {0x336699});
        runModel.Settings().current = Png();
        for (int i = 0; i < 4; ++i) {
            PhotoRecord photo;
            EXPECT_TRUE(runModel.AddPhotoFromFile(source.string(), photo));
            runModel.Photos().push_back(photo);
        }
        replacePort.choices = std::move(choices);
        ConversionRun run(runModel);
        run.SetClock([] { return std::time_t{1700000000}; });
        run.OnConvertClicked();
        run.WaitForWorker();
        for (const auto& entry : fs::directory_iterator(out)) {
            if (entry.is_directory()) return entry.path();
        }
        return {};
    }
};

TEST_F(ReplaceRunTest, YesToAllAsksOnceForTheRestOfTheRun) {
    const fs::path folder = RunWith({ReplaceChoice::KeepBoth, ReplaceChoice::YesToAll});
    EXPECT_EQ(replacePort.questions.size(), 2u);
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"tiny (2).png", "tiny.png"}));
}

TEST_F(ReplaceRunTest, NoToAllKeepsTheFirstFileWithoutAskingAgain) {
    const fs::path folder = RunWith({ReplaceChoice::NoToAll});
    EXPECT_EQ(replacePort.questions.size(), 1u);
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"tiny.png"});
}

TEST_F(ReplaceRunTest, KeepBothEveryTimeNumbersOn) {
    const fs::path folder = RunWith({ReplaceChoice::KeepBoth, ReplaceChoice::KeepBoth, ReplaceChoice::KeepBoth});
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"tiny (2).png", "tiny (3).png", "tiny (4).png", "tiny.png"}));
    EXPECT_EQ(replacePort.questions.size(), 3u);
}

}  // namespace
}  // namespace tallowin::test
