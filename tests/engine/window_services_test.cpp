// The folder search's order, texts in the settings file as a user edits them, and the
// messages of the help and of the stamp boxes' exchange.

#include "engine_world.h"
#include "file_find_all.h"

#include <gmock/gmock.h>

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

}  // namespace
}  // namespace tallowin::test
