// The conversion run through the scripted port: run folder, output names, progress,
// stop, the closing question, and one worker at a time.

#include "convert/conversion_run.h"
#include "convert/output_names.h"
#include "convert_world.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

// 2024-03-07 14:05:09 local time.
std::time_t FixedMoment() { return TestMoment(9); }

std::time_t Day(int year, int month, int day) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = 12;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

TEST(OutputNames, SerialNumbersAreAsWideAsThePhotoCount) {
    PhotoRecord photo;
    photo.sourcePath = "/cam/IMG_0042.tif";
    photo.modificationTime = Day(2023, 8, 15);
    const NamingRule rename{"/out/run/", false, "Trip"};
    EXPECT_EQ(OutputPathFor(rename, photo, 8, 9, "jpg"), "/out/run/Trip.9.2023.08.15.jpg");
    EXPECT_EQ(OutputPathFor(rename, photo, 0, 10, "jpg"), "/out/run/Trip.01.2023.08.15.jpg");
    EXPECT_EQ(OutputPathFor(rename, photo, 6, 12, "jpg"), "/out/run/Trip.07.2023.08.15.jpg");
    EXPECT_EQ(OutputPathFor(rename, photo, 0, 100, "png"), "/out/run/Trip.001.2023.08.15.png");
    const NamingRule emptyPrefix{"/out/run/", false, ""};
    EXPECT_EQ(OutputPathFor(emptyPrefix, photo, 6, 12, "jpg"), "/out/run/.07.2023.08.15.jpg");
    const NamingRule keep{"/out/run/", true, "Trip"};
    EXPECT_EQ(OutputPathFor(keep, photo, 6, 12, "jpg"), "/out/run/IMG_0042.jpg");
    EXPECT_EQ(OutputPathFor(keep, photo, 0, 1, ""), "/out/run/IMG_0042.");
}

TEST(OutputNames, RunFolderJoinsTheOutputFolderAsItStands) {
    EXPECT_EQ(RunFolderName("/pics/", FixedMoment()), "/pics/2024.03.07.14.05.09/");
    EXPECT_EQ(RunFolderName("/pics", FixedMoment()), "/pics2024.03.07.14.05.09/");
}

class ConversionRunTest : public ConvertWorld {
protected:
    void SetUp() override {
        ConvertWorld::SetUp();
        model->Settings().outputFolder = out.string() + "/";
        model->ExchangeToControls();
        run = std::make_unique<ConversionRun>(*model);
        run->SetClock(FixedMoment);
        source = Root() / "src" / "tiny.bmp";
        WriteColourBmp(source, 8, 6, {0x336699, 0xCCAA00});
    }
    void TearDown() override {
        run.reset();
        ConvertWorld::TearDown();
    }
    void AddPhotos(size_t count, int32_t format = FormatBmp) {
        OutputSettings s;
        s.nOuptputFormat = format;
        s.nOutputWidth = 4;
        model->Settings().current = s;
        for (size_t i = 0; i < count; ++i) {
            PhotoRecord photo;
            ASSERT_TRUE(model->AddPhotoFromFile(source.string(), photo));
            model->Photos().push_back(photo);
        }
    }
    fs::path RunFolder() const { return out / "2024.03.07.14.05.09"; }

    std::unique_ptr<ConversionRun> run;
    fs::path source;
};

TEST_F(ConversionRunTest, AnEmptyListCreatesTheRunFolderAndShowsNothing) {
    run->OnConvertClicked();
    run->WaitForWorker();
    EXPECT_TRUE(fs::is_directory(RunFolder()));
    EXPECT_TRUE(port.Messages().empty());
    EXPECT_TRUE(port.Progress().empty());
    EXPECT_EQ(model->Run().idle.load(), 1);
}

TEST_F(ConversionRunTest, ConvertsEveryPhotoWithSerialNamesAndProgress) {
    AddPhotos(10);
    port.Type(IDC_PREFIX, "Trip");
    model->Settings().notRename = false;
    port.QueueAnswer(MessageAnswer::Yes);  // open the folder at the end
    run->OnConvertClicked();
    run->WaitForWorker();

    const auto files = FilesIn(RunFolder());
    ASSERT_EQ(files.size(), 10u);
    EXPECT_EQ(files.front().substr(0, 8), "Trip.01.");
    EXPECT_EQ(files.back().substr(0, 8), "Trip.10.");
    EXPECT_EQ(port.Progress(), (std::vector<int>{0, 0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 999}));
    EXPECT_EQ(port.ControlText(IDC_CONVERT), "Convert");
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text,
              "The conversion is done. 10 converted, 0 converted in part, 0 failed, 0 skipped. Do you want to open "
              "the output folder?");
    EXPECT_EQ(port.Messages()[0].caption, RunFolder().string() + "/");
    EXPECT_EQ(port.Messages()[0].owner, MessageOwner::None);
    EXPECT_EQ(port.Opened(), std::vector<std::string>{RunFolder().string() + "/"});
    EXPECT_EQ(model->Run().idle.load(), 1);
    EXPECT_FALSE(model->Run().workerAlive.load());
}

TEST_F(ConversionRunTest, NotRenameTwiceTheSameTitleAsksTheSecondTime) {
    AddPhotos(2, FormatPng);
    model->Settings().notRename = true;
    run->OnConvertClicked();
    run->WaitForWorker();
    EXPECT_EQ(FilesIn(RunFolder()), std::vector<std::string>{"tiny.png"});
    const auto texts = port.MessageTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], RunFolder().string() + "/tiny.png exists. Do you want to replace it?");
}

TEST_F(ConversionRunTest, UnknownFormatIsLoggedAndTheRunGoesOn) {
    AddPhotos(2);
    model->Photos()[0].settings.nOuptputFormat = 9;
    run->OnConvertClicked();
    run->WaitForWorker();
    EXPECT_EQ(FilesIn(RunFolder()).size(), 1u);
    ASSERT_EQ(model->Log().Lines().size(), 1u);
    EXPECT_NE(model->Log().Lines()[0].find("unknown output photo format!"), std::string::npos);
}

// Clicks Convert again (a stop request) while the first photo reads its stamp text.
class StoppingPort : public FakeWindowPort {
public:
    std::string ControlText(ControlId id) override {
        if (id == IDC_STAMP_TEXT && clicks.fetch_add(1) == 0) {
            run->OnConvertClicked();  // running: a stop request
            run->OnConvertClicked();  // stopping: nothing
        }
        return FakeWindowPort::ControlText(id);
    }
    ConversionRun* run = nullptr;
    std::atomic<int> clicks{0};
};

TEST_F(ConversionRunTest, AStopDuringTheFirstPhotoFinishesOnlyThatPhoto) {
    StoppingPort stopping;
    MainWindowModel stopModel(stopping, *store);
    stopModel.Settings().outputFolder = model->Settings().outputFolder;
    stopModel.ExchangeToControls();
    AddPhotos(3);
    stopModel.Photos() = model->Photos();
    ConversionRun stopRun(stopModel);
    stopRun.SetClock(FixedMoment);
    stopping.run = &stopRun;

    stopRun.OnConvertClicked();
    stopRun.WaitForWorker();
    EXPECT_EQ(FilesIn(RunFolder()).size(), 1u);
    EXPECT_EQ(stopping.Progress(), (std::vector<int>{0, 0, 999}));
    EXPECT_EQ(stopping.ControlText(IDC_CONVERT), "Convert");
    EXPECT_EQ(stopping.MessageTexts(),
              std::vector<std::string>{"The conversion was stopped: 1 of 3 photos written. 1 converted, 0 converted in "
                                       "part, 0 failed, 0 skipped. Do you want to open the output folder?"});
    EXPECT_EQ(stopModel.Run().idle.load(), 1);
}

TEST_F(ConversionRunTest, TheRunConvertsTheListAsItWasAtTheClick) {
    AddPhotos(2);
    run->OnConvertClicked();
    model->Photos().clear();  // an edit during the run is for the next run
    run->WaitForWorker();
    EXPECT_EQ(FilesIn(RunFolder()).size(), 2u);
}

TEST_F(ConversionRunTest, ARunFolderThatCannotBeCreatedStopsTheRun) {
    AddPhotos(1);
    WriteFile("out/2024.03.07.14.05.09", "a file in the way");
    run->OnConvertClicked();
    run->WaitForWorker();
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "Can not create the directory");
    EXPECT_EQ(port.Messages()[0].caption, RunFolder().string() + "/");
    EXPECT_TRUE(port.Progress().empty());
}

TEST_F(ConversionRunTest, ConvertTakesTheTypedFolderAndMakesTheRunFolderInsideIt) {
    AddPhotos(1);
    // A folder that cannot take a run folder (a file stands there), then a good one typed
    // without a trailing slash: the second click uses it at once.
    WriteFile("blocked", "");
    port.Type(IDC_OUTPUT_FOLDER, Path("blocked").string());
    run->OnConvertClicked();
    run->WaitForWorker();
    EXPECT_EQ(port.MessageTexts(), std::vector<std::string>{"Can not create the directory"});
    port.ClearMessages();

    port.Type(IDC_OUTPUT_FOLDER, Path("typed").string());
    fs::create_directories(Path("typed"));
    run->OnConvertClicked();
    run->WaitForWorker();
    const fs::path runFolder = Path("typed") / "2024.03.07.14.05.09";
    EXPECT_EQ(FilesIn(runFolder).size(), 1u);
    EXPECT_FALSE(fs::exists(Path("typed2024.03.07.14.05.09")));
    EXPECT_EQ(model->Run().runFolder, runFolder.string() + "/");
}

TEST_F(ConversionRunTest, AnEmptyOrRelativeFolderIsRefusedBeforeAnythingIsCreated) {
    AddPhotos(1);
    const fs::path workingFolder = fs::current_path();
    fs::current_path(Root());
    for (const char* typed : {"", "pics", "./pics"}) {
        port.ClearMessages();
        port.Type(IDC_OUTPUT_FOLDER, typed);
        run->OnConvertClicked();
        run->WaitForWorker();
        ASSERT_EQ(port.Messages().size(), 1u) << typed;
        EXPECT_EQ(port.Messages()[0].caption, "Warning") << typed;
        EXPECT_FALSE(port.Messages()[0].text.empty()) << typed;
    }
    fs::current_path(workingFolder);
    EXPECT_FALSE(fs::exists(Path("2024.03.07.14.05.09")));
    EXPECT_FALSE(fs::exists(Path("pics2024.03.07.14.05.09")));
    EXPECT_FALSE(fs::exists(Path("pics")));
    EXPECT_TRUE(port.Progress().empty());

    // An emptied box is not stored: the next start finds the folder stored before.
    store->WriteProfileString("Option", "photo_output_folder", "/kept/");
    port.Type(IDC_OUTPUT_FOLDER, "");
    ASSERT_TRUE(model->Exit());
    EXPECT_EQ(store->GetProfileString("Option", "photo_output_folder", ""), "/kept/");
}

// Types a stamp while the first photo is converting, as a user may during a run.
class TypingPort : public FakeWindowPort {
public:
    std::string ControlText(ControlId id) override {
        const std::string text = FakeWindowPort::ControlText(id);
        if (id == IDC_STAMP_TEXT && reads.fetch_add(1) == 0) {
            Type(IDC_STAMP_TEXT, "MMMM");
            Type(IDC_STAMP_X, "0");
            Type(IDC_STAMP_Y, "0");
        }
        return text;
    }
    std::atomic<int> reads{0};
};

TEST_F(ConversionRunTest, AStampTypedDuringARunAppliesFromTheNextPhoto) {
    TypingPort typing;
    MainWindowModel typingModel(typing, *store);
    typingModel.Settings().outputFolder = model->Settings().outputFolder;
    typingModel.Settings().notRename = false;
    typingModel.ExchangeToControls();
    AddPhotos(3);
    typingModel.Photos() = model->Photos();
    for (PhotoRecord& photo : typingModel.Photos()) {  // room for the text
        photo.settings.nOutputWidth = 64;
        photo.settings.nOutputHeight = 48;
    }
    ConversionRun typingRun(typingModel);
    typingRun.SetClock(FixedMoment);
    typingRun.OnConvertClicked();
    typingRun.WaitForWorker();

    const auto files = FilesIn(RunFolder());
    ASSERT_EQ(files.size(), 3u);
    const std::string first = ReadFile(RunFolder() / files[0]);
    EXPECT_NE(first, ReadFile(RunFolder() / files[1]));  // stamped from the second photo on
    EXPECT_EQ(ReadFile(RunFolder() / files[1]), ReadFile(RunFolder() / files[2]));
}

// Empties the list from the worker's first photo, as Clear would from the window, and
// notes whether the Convert button could still be pressed then.
class ClearingPort : public FakeWindowPort {
public:
    std::string ControlText(ControlId id) override {
        if (id == IDC_STAMP_TEXT && clicks.fetch_add(1) == 0) {
            model->List().Clear();
            convertEnabledAfterClear = Enabled().at(IDC_CONVERT);
            run->OnConvertClicked();  // Stop
        }
        return FakeWindowPort::ControlText(id);
    }
    MainWindowModel* model = nullptr;
    ConversionRun* run = nullptr;
    std::atomic<int> clicks{0};
    bool convertEnabledAfterClear = false;
};

TEST_F(ConversionRunTest, StopStaysPressableWhenTheListIsEmptiedDuringARun) {
    ClearingPort clearing;
    MainWindowModel clearModel(clearing, *store);
    clearModel.Settings().outputFolder = model->Settings().outputFolder;
    clearModel.ExchangeToControls();
    AddPhotos(3);
    clearModel.Photos() = model->Photos();
    clearModel.List().Refresh();
    ConversionRun clearRun(clearModel);
    clearRun.SetClock(FixedMoment);
    clearing.model = &clearModel;
    clearing.run = &clearRun;

    clearRun.OnConvertClicked();
    clearRun.WaitForWorker();
    EXPECT_TRUE(clearing.convertEnabledAfterClear);
    EXPECT_EQ(FilesIn(RunFolder()).size(), 1u);  // the stop took effect after the first photo
    // The run is over and the list is empty: Convert follows the list again.
    EXPECT_FALSE(clearing.Enabled().at(IDC_CONVERT));
    EXPECT_EQ(clearing.Enabled().at(IDC_CLEAR), false);
    EXPECT_TRUE(clearModel.Exit());
}

}  // namespace
}  // namespace tallowin::test
