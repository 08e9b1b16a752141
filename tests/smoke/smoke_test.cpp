#include "test_world.h"

#include <cstdlib>
#include <filesystem>

using tallowin::test::TestWorld;

// The fixture gives every test its own settings home and temporary folder.
TEST_F(TestWorld, PointsSettingsAndTemporaryFolderIntoItsOwnRoot)
{
    EXPECT_EQ(std::getenv("XDG_CONFIG_HOME"), (Root() / "config").string());
    EXPECT_EQ(std::getenv("TMPDIR"), (Root() / "tmp").string());
    EXPECT_TRUE(std::filesystem::is_directory(Root() / "tmp"));
}
