// The folder search's order, texts in the settings file as a user edits them, and the
// messages of the help and of the stamp boxes' exchange.

#include "engine_world.h"
#include "file_find_all.h"
#include "settings_keys.h"

#include <gmock/gmock.h>

#include <fstream>

namespace tallowin::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

using WindowServicesTest = EngineWorld;

// Each folder's photos in the order a file manager lists them, whatever order the files
// were made in; folders breadth first, sub-folders in name order too.
TEST_F(WindowServicesTest, FolderSearchTakesEachFolderInNameOrder)
{
    const fs::path root = Path("tree");
    // Made in reverse of the expected order, and shuffled, so the file system's own
    // order is not the name order by chance.
    for (const char* name : {"sub10/y.png", "Sub2/x.png", "sub1/z.png", "p0383.bmp", "p10.jpg", "notes.txt",
                             "P2.png", "b.gif", "A.JPG", "a.jpg", "img_001.tif", "img_1.tif", "Zeta.png"})
        WriteFile("tree/" + std::string(name), "x");

    std::vector<std::string> found;
    CFileFindAll search(port);
    ASSERT_TRUE(search.FindPhotoFiles(root.string(), found));
    std::vector<std::string> names;
    for (const std::string& path : found) names.push_back(path.substr(root.string().size() + 1));
    EXPECT_THAT(names, ElementsAre("A.JPG", "a.jpg", "b.gif", "img_001.tif", "img_1.tif", "P2.png", "p10.jpg",
                                   "p0383.bmp", "Zeta.png", "sub1/z.png", "Sub2/x.png", "sub10/y.png"));
}

TEST(FileNameOrder, LettersIgnoreCaseAndDigitRunsCountAsNumbers)
{
    EXPECT_TRUE(FileNameLess("apple.jpg", "Photo.jpg"));
    EXPECT_TRUE(FileNameLess("p9.jpg", "p10.jpg"));
    EXPECT_TRUE(FileNameLess("p0690.jpg", "p1283.jpg"));
    EXPECT_TRUE(FileNameLess("Émile.jpg", "émile2.jpg"));
    EXPECT_FALSE(FileNameLess("p10.jpg", "p9.jpg"));
    // Names that read alike still have one order.
    EXPECT_NE(FileNameLess("a.jpg", "A.jpg"), FileNameLess("A.jpg", "a.jpg"));
    EXPECT_FALSE(FileNameLess("same", "same"));
}

// A text the user wrote into the file with ',' or ';' reads as written (it would have
// been read as "" and then overwritten at Exit); texts the store wrote itself, with
// quotes and escapes, come back as they were given.
TEST_F(WindowServicesTest, HandEditedTextsWithCommasAndSemicolonsReadAsWritten)
{
    const fs::path file = Path("config/Veltrane/Tallowin.conf");
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "[Option]\n"
                           "photo_output_folder=/home/u/My Pictures, 2024/\n"
                           "m_batch_renamer = Trip;Rome , 2024 \n"
                           "LastPhotoFolder=/a,b/\n"
                           "[Setup]\n"
                           "t_first_update=12\n";
    SettingsStore reread;
    EXPECT_EQ(reread.GetProfileString(keys::kOption, keys::kPhotoOutputFolder, "x"), "/home/u/My Pictures, 2024/");
    EXPECT_EQ(reread.GetProfileString(keys::kOption, keys::kBatchRenamer, "x"), "Trip;Rome , 2024");
    EXPECT_EQ(reread.GetProfileString(keys::kOption, keys::kLastPhotoFolder, "x"), "/a,b/");
    EXPECT_EQ(reread.GetProfileString(keys::kOption, keys::kLastBrowseFold, "x"), "x");
    EXPECT_EQ(reread.GetProfileInt(keys::kSetup, keys::kFirstUpdate, 0), 12);

    // The start and the Exit of the window keep the folder as it was.
    Restart();
    model->Initialise(FAKE_LIBPHOTO_DIR);
    EXPECT_EQ(model->Settings().outputFolder, "/home/u/My Pictures, 2024/");
    ASSERT_TRUE(model->Exit());
    EXPECT_EQ(SettingsStore().GetProfileString(keys::kOption, keys::kPhotoOutputFolder, "x"),
              "/home/u/My Pictures, 2024/");

    for (const std::string text : {"a, b;c", " blank ", "say \"hi\"", "back\\slash, x", "@at", "", "caf\xc3\xa9, x"}) {
        store->WriteProfileString(keys::kOption, keys::kBatchRenamer, text);
        EXPECT_EQ(SettingsStore().GetProfileString(keys::kOption, keys::kBatchRenamer, "x"), text);
    }
}

TEST_F(WindowServicesTest, HelpThatCannotBeOpenedIsReported)
{
    port.SetOpenSucceeds(false);
    model->Help();
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "Can not open the help file " + model->HelpPath());
    EXPECT_EQ(port.Messages()[0].caption, "Error");
    EXPECT_THAT(port.Opened(), ElementsAre(model->HelpPath()));

    port.ClearMessages();
    port.SetOpenSucceeds(true);
    model->Help();
    EXPECT_TRUE(port.Messages().empty());
}

TEST_F(WindowServicesTest, AStampBoxWithoutAnIntegerIsReportedWithTheExclamationIcon)
{
    port.Type(IDC_STAMP_X, "ten");
    EXPECT_FALSE(model->ExchangeFromControls());
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "Enter an integer.");
    EXPECT_EQ(port.Messages()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(port.Messages()[0].buttons, MessageButtons::Ok);
}

}  // namespace
}  // namespace tallowin::test
