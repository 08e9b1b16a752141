// The private temporary folder: names composed in it, numbered sub-folders, and the
// removal of folders left by copies of the program that no longer run.

#include "temp_files.h"
#include "test_world.h"

#include <gmock/gmock.h>

#include <sys/wait.h>
#include <unistd.h>

namespace tallowin::test {
namespace {

namespace fs = std::filesystem;

using TempFilesTest = TestWorld;

const std::string& OwnFolderName()
{
    static const std::string name = "tallowin-" + std::to_string(::getpid());
    return name;
}

TEST_F(TempFilesTest, FixedNamesLiveInThePrivateFolder)
{
    const std::string folder = desktop::PrivateTempFolder();
    EXPECT_EQ(folder, Path("tmp/" + OwnFolderName() + "/").string());
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(desktop::TempFileName("BMP", 0x5749), folder + "BMP5749.TMP");
    EXPECT_EQ(desktop::TempFileName("BMPX", 0x1303A), folder + "BMP303A.TMP");  // low 16 bits, 3 letters
    EXPECT_EQ(desktop::TempFileName("BM", 0xA), folder + "BM000A.TMP");
}

TEST_F(TempFilesTest, SubfoldersAreNeverShared)
{
    const std::string a = desktop::UniqueTempSubfolder();
    const std::string b = desktop::UniqueTempSubfolder();
    EXPECT_NE(a, b);
    EXPECT_TRUE(fs::is_directory(a));
    EXPECT_TRUE(fs::is_directory(b));
    EXPECT_EQ(fs::path(a).parent_path().parent_path(), fs::path(desktop::PrivateTempFolder()).parent_path());
}

TEST_F(TempFilesTest, OnlyFoldersOfEndedProcessesAreRemoved)
{
    // A process that has ended: a child that exits at once.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);

    WriteFile("tmp/tallowin-" + std::to_string(child) + "/BMP5749.TMP", "left by a crash");
    WriteFile("tmp/tallowin-1/kept.txt", "pid 1 always runs");
    WriteFile("tmp/tallowin-notapid/kept.txt", "not ours");
    WriteFile("tmp/" + OwnFolderName() + "/kept.txt", "ours");

    EXPECT_EQ(desktop::RemoveStaleTempFolders(), 1);
    EXPECT_FALSE(fs::exists(Path("tmp/tallowin-" + std::to_string(child))));
    EXPECT_TRUE(fs::exists(Path("tmp/tallowin-1/kept.txt")));
    EXPECT_TRUE(fs::exists(Path("tmp/tallowin-notapid/kept.txt")));
    EXPECT_TRUE(fs::exists(Path("tmp/" + OwnFolderName() + "/kept.txt")));

    { desktop::PrivateTempFolderScope scope; }
    EXPECT_FALSE(fs::exists(Path("tmp/" + OwnFolderName())));
}

}  // namespace
}  // namespace tallowin::test
