// The fixture leaves nothing behind: not the test's folders, not the process's folder.
#include "test_world.h"

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

// A world driven by hand, so the test can look at what remains after TearDown.
class ManualWorld : public TestWorld {
public:
    using TestWorld::Root;
    using TestWorld::SetUp;
    using TestWorld::TearDown;
    using TestWorld::WriteFile;
    void TestBody() override {}
};

TEST(TestWorldCleanup, RemovesTheTestsFoldersAndTheProcessFolder)
{
    ManualWorld world;
    world.SetUp();
    const fs::path root = world.Root();
    const fs::path processFolder = root.parent_path();
    ASSERT_TRUE(fs::is_directory(root / "tmp"));
    // A read-only folder with a file inside, as tests of hostile destinations leave them.
    world.WriteFile("locked/photo.bmp", "BM");
    ASSERT_EQ(::chmod((root / "locked").c_str(), 0555), 0);
    world.TearDown();
    EXPECT_FALSE(fs::exists(root));
    EXPECT_FALSE(fs::exists(processFolder));
}

TEST(TestWorldCleanup, KeepsTheProcessFolderWhileAnotherWorldLivesInIt)
{
    ManualWorld first;
    first.SetUp();
    const fs::path processFolder = first.Root().parent_path();
    const fs::path other = processFolder / "another-test";
    fs::create_directories(other);
    first.TearDown();
    EXPECT_TRUE(fs::exists(other));
    fs::remove_all(processFolder);
}

}  // namespace
}  // namespace tallowin::test
