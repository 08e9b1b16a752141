// A rename prefix names files inside the run folder only: one that would lead out of
// it is refused before anything is written.

#include "convert/conversion_run.h"
#include "convert/output_names.h"
#include "convert_world.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

TEST(RenamePrefix, OnlyAPlainNamePartIsAccepted) {
    for (const std::string prefix : {"Trip", "", "output.photo", "..Trip", "a..b", "Ferien 2024", "back\\slash"}) {
        EXPECT_EQ(RenamePrefixProblem(prefix), "") << prefix;
    }
    for (const std::string prefix : {"../../ESCAPED", "/../../victim/abs", "sub/name", "/", "Trip/", ".", ".."}) {
        EXPECT_NE(RenamePrefixProblem(prefix), "") << prefix;
    }
    EXPECT_NE(RenamePrefixProblem(std::string("a\0b", 3)), "");
    EXPECT_EQ(RenamePrefixProblem("../x"),
              "The rename prefix \"../x\" contains \"/\": the photos would be written outside the run folder. "
              "Use a prefix without \"/\".");
}

class RenamePrefixRunTest : public ConvertWorld {
protected:
    void SetUp() override {
        ConvertWorld::SetUp();
        model->Settings().outputFolder = out.string() + "/";
        model->ExchangeToControls();
        run = std::make_unique<ConversionRun>(*model);
        const fs::path source = Root() / "src" / "tiny.bmp";
        WriteColourBmp(source, 8, 6, {0x336699, 0xCCAA00});
        OutputSettings settings;
        settings.nOuptputFormat = FormatPng;
        settings.nOutputWidth = 4;
        settings.nOutputHeight = 3;
        model->Photos().push_back(Added(source, settings, {}));
    }
    void TearDown() override {
        run.reset();
        ConvertWorld::TearDown();
    }
    std::unique_ptr<ConversionRun> run;
};

TEST_F(RenamePrefixRunTest, APrefixLeadingOutOfTheRunFolderStopsConvertBeforeAnythingIsMade) {
    for (const std::string prefix : {"../../ESCAPED", "/../../victim/abs", ".."}) {
        port.ClearMessages();
        port.Type(IDC_PREFIX, prefix);
        model->Settings().notRename = false;
        run->OnConvertClicked();
        run->WaitForWorker();
        ASSERT_EQ(port.Messages().size(), 1u) << prefix;
        EXPECT_EQ(port.Messages()[0].text, RenamePrefixProblem(prefix));
        EXPECT_EQ(port.Messages()[0].caption, "Error");
        EXPECT_TRUE(FilesIn(out).empty()) << prefix;  // not even a run folder
        EXPECT_EQ(FilesIn(Root()), (std::vector<std::string>{"config", "home", "out", "runtime", "src", "tmp"}));
        EXPECT_TRUE(port.Progress().empty());
    }

    // With "Not rename" the prefix names nothing, so it does not matter.
    port.ClearMessages();
    model->Settings().notRename = true;
    run->OnConvertClicked();
    run->WaitForWorker();
    ASSERT_EQ(FilesIn(out).size(), 1u);
    EXPECT_EQ(FilesIn(out / FilesIn(out)[0]), std::vector<std::string>{"tiny.png"});
}

}  // namespace
}  // namespace tallowin::test
