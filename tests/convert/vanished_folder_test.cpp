// A run folder that goes away during a run (deleted, or its disk unmounted) stops
// the run with one message instead of one failure per photo left.

#include "convert/conversion_run.h"
#include "convert/run_folder_watch.h"
#include "convert_world.h"
#include "language.h"

#include <gtest/gtest.h>

#include <atomic>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

// Deletes the run folder when the run moves the progress bar to its second photo.
class FolderRemovingPort : public FakeWindowPort {
public:
    void SetProgress(int position) override {
        FakeWindowPort::SetProgress(position);
        if (position > 0 && position < 999 && model != nullptr && !removed.exchange(true)) {
            fs::remove_all(model->Run().runFolder);
        }
    }
    MainWindowModel* model = nullptr;
    std::atomic<bool> removed{false};
};

class VanishedFolderTest : public ConvertWorld {
protected:
    void SetUp() override {
        ConvertWorld::SetUp();
        source = Root() / "src" / "tiny.bmp";
        WriteColourBmp(source, 8, 6, {0x336699, 0xCCAA00});
    }
    fs::path source;
};

TEST_F(VanishedFolderTest, TheRunStopsWithOneMessageWhenItsFolderIsGone) {
    FolderRemovingPort removing;
    MainWindowModel runModel(removing, *store);
    runModel.Settings().outputFolder = out.string() + "/";
    runModel.ExchangeToControls();
    removing.model = &runModel;
    OutputSettings settings;
    settings.nOuptputFormat = FormatPng;
    settings.nOutputWidth = 4;
    settings.nOutputHeight = 3;
    for (int i = 0; i < 5; ++i) {
        runModel.Photos().push_back(Added(source, settings, {}));
    }
    removing.Type(IDC_PREFIX, "Trip");
    runModel.Settings().notRename = false;

    ConversionRun run(runModel);
    run.OnConvertClicked();
    run.WaitForWorker();

    ASSERT_TRUE(removing.removed.load());
    const std::vector<std::string> texts = removing.MessageTexts();
    // The photo that met the missing folder, then the run's one message; no closing
    // question about a folder that cannot be opened.
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], GetText(IDS_SAVE_FAILED));
    EXPECT_EQ(texts[1], RunFolderWatch::GoneText(runModel.Run().runFolder));
    EXPECT_EQ(texts[1], "The output folder " + runModel.Run().runFolder +
                            " is gone (deleted, or its disk removed); the conversion stopped.");
    EXPECT_EQ(removing.Progress(), (std::vector<int>{0, 0, 200, 999}));
    EXPECT_TRUE(removing.Opened().empty());
    EXPECT_EQ(removing.ControlText(IDC_CONVERT), "Convert");
    EXPECT_EQ(runModel.Run().idle.load(), 1);
    EXPECT_FALSE(runModel.Run().workerAlive.load());
    EXPECT_FALSE(fs::exists(runModel.Run().runFolder));
}

TEST_F(VanishedFolderTest, TheWatchTellsOnceAndOnlyWhenTheFolderIsGone) {
    const fs::path folder = Root() / "watched";
    fs::create_directories(folder);
    RunFolderWatch watch(folder.string() + "/");
    int told = 0;
    const auto tell = [&told](const std::string&) { ++told; };
    EXPECT_FALSE(watch.GoneAfterFailure(tell));  // a photo failed for its own reasons
    EXPECT_FALSE(watch.Stopped());
    fs::remove_all(folder);
    EXPECT_TRUE(watch.GoneAfterFailure(tell));
    EXPECT_TRUE(watch.GoneAfterFailure(tell));
    EXPECT_TRUE(watch.Stopped());
    EXPECT_EQ(told, 1);
}

}  // namespace
}  // namespace tallowin::test
