// The private temporary folder: names composed in it, numbered sub-folders, and the
// removal of folders left by copies of the program that no longer run.

#include "temp_files.h"
#include "test_world.h"

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tallowin::test {
namespace {

namespace fs = std::filesystem;
using ::testing::StartsWith;

using TempFilesTest = TestWorld;

const std::string& OwnFolderPrefix()
{
    static const std::string name = "tallowin-" + std::to_string(::getpid()) + "-";
    return name;
}

// A pid that no longer runs: a child that exits at once.
pid_t EndedProcess()
{
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    EXPECT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST_F(TempFilesTest, FixedNamesLiveInThePrivateFolder)
{
    const std::string folder = desktop::PrivateTempFolder();
    EXPECT_EQ(fs::path(folder).parent_path().parent_path(), Path("tmp"));
    EXPECT_THAT(fs::path(folder).parent_path().filename().string(), StartsWith(OwnFolderPrefix()));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(desktop::PrivateTempFolder(), folder);  // one folder for the process
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

TEST_F(TempFilesTest, ThePrivateFolderIsMadeNeverAdopted)
{
    // Someone prepares folders and links under names we might use.
    const std::string pid = std::to_string(::getpid());
    fs::create_directories(Path("elsewhere"));
    fs::create_directories(Path("tmp/tallowin-" + pid));
    fs::permissions(Path("tmp/tallowin-" + pid), fs::perms::all);
    fs::create_directory_symlink(Path("elsewhere"), Path("tmp/tallowin-" + pid + "-000000"));

    const std::string folder = desktop::PrivateTempFolder();
    ASSERT_FALSE(folder.empty());
    const fs::path made = fs::path(folder).parent_path();
    EXPECT_NE(made, Path("tmp/tallowin-" + pid));
    EXPECT_FALSE(fs::is_symlink(made));
    struct stat status {};
    ASSERT_EQ(::lstat(made.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, ::geteuid());
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::is_empty(Path("elsewhere")));

    // Removed and replaced by a link: a new folder is made, the link's target untouched.
    fs::remove_all(made);
    fs::create_directory_symlink(Path("elsewhere"), made);
    const std::string again = desktop::PrivateTempFolder();
    EXPECT_NE(again, folder);
    WriteFile(fs::path(again).lexically_relative(Root()).string() + "x.tmp", "x");
    desktop::RemovePrivateTempFolder();
    EXPECT_FALSE(fs::exists(again));
    EXPECT_TRUE(fs::is_symlink(made));
    EXPECT_TRUE(fs::is_directory(Path("elsewhere")));
}

TEST_F(TempFilesTest, OnlyFoldersOfEndedProcessesAreRemoved)
{
    const std::string child = std::to_string(EndedProcess());

    WriteFile("tmp/tallowin-" + child + "-a1B2c3/BMP5749.TMP", "left by a crash");
    WriteFile("tmp/tallowin-" + child + "/BMP5749.TMP", "left by an earlier version");
    WriteFile("tmp/tallowin-1-a1B2c3/kept.txt", "pid 1 always runs");
    WriteFile("tmp/tallowin-notapid/kept.txt", "not ours");
    WriteFile("tmp/tallowin-" + child + "-bad/kept.txt", "not our pattern");
    // A link with a stale name leads to files that are not ours to remove.
    WriteFile("victim/kept.txt", "not in the temporary folder");
    fs::create_directory_symlink(Path("victim"), Path("tmp/tallowin-" + child + "-zzzzzz"));
    const std::string own = desktop::PrivateTempFolder();
    WriteFile(fs::path(own).lexically_relative(Root()).string() + "kept.txt", "ours");
    bool foreignOwnerTested = false;
    if (::geteuid() == 0) {
        // Someone else's folder that carries our name stays.
        WriteFile("tmp/tallowin-" + child + "-f0reig/kept.txt", "another user's");
        foreignOwnerTested = ::chown(Path("tmp/tallowin-" + child + "-f0reig").c_str(), 4242, 4242) == 0;
    }

    EXPECT_EQ(desktop::RemoveStaleTempFolders(), 2);
    EXPECT_FALSE(fs::exists(Path("tmp/tallowin-" + child + "-a1B2c3")));
    EXPECT_FALSE(fs::exists(Path("tmp/tallowin-" + child)));
    EXPECT_TRUE(fs::exists(Path("tmp/tallowin-1-a1B2c3/kept.txt")));
    EXPECT_TRUE(fs::exists(Path("tmp/tallowin-notapid/kept.txt")));
    EXPECT_TRUE(fs::exists(Path("tmp/tallowin-" + child + "-bad/kept.txt")));
    EXPECT_TRUE(fs::exists(Path("victim/kept.txt")));
    EXPECT_TRUE(fs::exists(own + "kept.txt"));
    if (foreignOwnerTested) {
        EXPECT_TRUE(fs::exists(Path("tmp/tallowin-" + child + "-f0reig/kept.txt")));
    }

    { desktop::PrivateTempFolderScope scope; }
    EXPECT_FALSE(fs::exists(own));
}

}  // namespace
}  // namespace tallowin::test
