// Staged names (length, recognition) and the removal of what killed processes left.

#include "staged_file.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

using plumbing::kMaxFileNameBytes;
using plumbing::StagedFile;
using plumbing::StagedNameOwner;
using plumbing::StagedPathFor;

// A process id that certainly does not run: a child that has ended and been reaped.
pid_t EndedProcessId() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

void CreateClosed(StagedFile& staged) {
    const int fd = staged.Create();
    ASSERT_GE(fd, 0);
    close(fd);
}

std::string NameOf(const std::string& path) { return fs::path(path).filename().string(); }

TEST(StagedNames, FitTheNameLimitKeepTheExtensionAndCarryTheProcess) {
    const std::string folder = "/some/run/";
    for (const std::string& title : {std::string(250, 'x'), std::string(251, 'y'), std::string("holiday")}) {
        for (const std::string& extension : {std::string(".wdp"), std::string(".jpg"), std::string()}) {
            const std::string final = folder + title + extension;
            const std::string staged = StagedPathFor(final);
            const std::string name = NameOf(staged);
            EXPECT_LE(name.size(), kMaxFileNameBytes) << final;
            EXPECT_EQ(staged.substr(0, folder.size()), folder);
            EXPECT_EQ(name.front(), '.');
            EXPECT_EQ(name.substr(name.size() - extension.size()), extension);
            EXPECT_EQ(StagedNameOwner(name), getpid()) << name;
            EXPECT_NE(StagedPathFor(final), staged);  // unique per call
        }
    }
    // A shortened title is never cut inside a UTF-8 sequence ("é" is two bytes).
    std::string accents;
    while (accents.size() < 260) accents += "\xC3\xA9";
    const std::string name = NameOf(StagedPathFor(folder + accents.substr(0, 250) + ".png"));
    const size_t titleEnd = name.find('.', 1);
    ASSERT_NE(titleEnd, std::string::npos);
    EXPECT_EQ((titleEnd - 1) % 2, 0u) << name;
    EXPECT_NE(static_cast<unsigned char>(name[titleEnd - 1]), 0xC3) << name;
}

TEST(StagedNames, OtherNamesAreNotTakenForStagedOnes) {
    for (const char* name : {"holiday.jpg", ".hidden", ".x.12-3.partial", "x.12-3.part", ".x.12-.part", ".x.-3.part",
                             ".x.a2-3.part.png", ".x.0-3.part", ".x.12-3.part.png.png", ".12-3.part"}) {
        EXPECT_FALSE(StagedNameOwner(name).has_value()) << name;
    }
    EXPECT_EQ(StagedNameOwner(".x.12-3.part"), 12);
    EXPECT_EQ(StagedNameOwner(".a.b.77-0.part.tif"), 77);
    EXPECT_EQ(StagedNameOwner("..part.4-1.part.part"), 4);
}

class StagedFileTest : public TestWorld {};

TEST_F(StagedFileTest, CommitReplacesTheFinalFileAndAFailedCommitKeepsIt) {
    const std::string final = Path("photo.png").string();
    WriteFile("photo.png", "old");
    {
        StagedFile staged(final);
        std::FILE* file = staged.CreateStream();
        ASSERT_NE(file, nullptr);
        std::fputs("new", file);
        ASSERT_EQ(std::fclose(file), 0);
        EXPECT_EQ(ReadFile(final), "old");  // nothing changes before the commit
        ASSERT_TRUE(staged.Commit());
    }
    EXPECT_EQ(ReadFile(final), "new");

    {
        StagedFile abandoned(final);  // never committed: the destructor removes it
        CreateClosed(abandoned);
    }
    // A folder standing under the final name: the rename fails, the staged file goes.
    fs::create_directories(Path("taken.png/inside"));
    StagedFile blocked(Path("taken.png").string());
    CreateClosed(blocked);
    EXPECT_FALSE(blocked.Commit());
    EXPECT_NE(blocked.Error(), 0);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Root())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"config", "home", "photo.png", "runtime", "taken.png", "tmp"}));
}

TEST_F(StagedFileTest, OnlyStagedFilesOfEndedProcessesAreRemoved) {
    const pid_t ended = EndedProcessId();
    const std::string dead = "." + std::string(230, 'd') + "." + std::to_string(ended) + "-0.part.jpg";
    const std::string alive = ".b." + std::to_string(getppid()) + "-1.part.png";
    const std::string mine = ".c." + std::to_string(getpid()) + "-2.part";
    fs::create_directories(Path("run/sub"));
    for (const std::string& name : {dead, alive, mine, std::string("photo.jpg"), "." + std::to_string(ended)})
        WriteFile("run/" + name, "x");
    WriteFile("run/sub/" + dead, "x");
    // Not regular files: left alone whatever their names say.
    const std::string deadFolder = ".e." + std::to_string(ended) + "-3.part";
    const std::string deadLink = ".f." + std::to_string(ended) + "-4.part";
    fs::create_directories(Path("run/" + deadFolder));
    fs::create_symlink(Path("run/photo.jpg"), Path("run/" + deadLink));

    EXPECT_EQ(plumbing::RemoveAbandonedStagedFiles(Path("run").string()), 1u);
    EXPECT_FALSE(fs::exists(Path("run/" + dead)));
    for (const std::string& kept : {alive, mine, std::string("photo.jpg"), deadFolder, deadLink})
        EXPECT_TRUE(fs::exists(fs::symlink_status(Path("run/" + kept)))) << kept;
    EXPECT_TRUE(fs::exists(Path("run/sub/" + dead)));

    // An output folder and the run folders directly inside it.
    WriteFile("run/" + dead, "x");
    EXPECT_EQ(plumbing::RemoveAbandonedStagedFilesBelow(Path("run").string()), 2u);
    EXPECT_FALSE(fs::exists(Path("run/sub/" + dead)));
    EXPECT_FALSE(fs::exists(Path("run/" + dead)));
}

TEST_F(StagedFileTest, TheFirstStagedFileInAFolderCleansIt) {
    const std::string dead = ".a." + std::to_string(EndedProcessId()) + "-0.part.bmp";
    fs::create_directories(Path("out"));
    WriteFile("out/" + dead, "x");
    StagedFile staged(Path("out/photo.bmp").string());
    CreateClosed(staged);
    EXPECT_FALSE(fs::exists(Path("out/" + dead)));
    // Only once per folder and process: a later leftover waits for the next process.
    WriteFile("out/" + dead, "x");
    StagedFile again(Path("out/other.bmp").string());
    CreateClosed(again);
    EXPECT_TRUE(fs::exists(Path("out/" + dead)));
}

}  // namespace
}  // namespace tallowin::test
