// Adding photos from chosen files, folder trees and drops, and the WDP route.

#include "add_failures.h"
#include "engine_world.h"
#include "file_find_all.h"
#include "gdiplus.h"
#include "settings_keys.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

namespace tallowin::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

fs::path EngineData(const std::string& relative) { return DataDir() / relative; }

class PhotoAddingTest : public EngineWorld {
protected:
    // A copy of a test file inside the test's folder.
    std::string Copy(const std::string& dataFile, const std::string& relative)
    {
        const fs::path target = Path(relative);
        fs::create_directories(target.parent_path());
        fs::copy_file(EngineData(dataFile), target, fs::copy_options::overwrite_existing);
        return target.string();
    }
    std::vector<std::string> FileNames() const
    {
        std::vector<std::string> names;
        for (const PhotoRecord& photo : model->Photos()) names.push_back(photo.fileName);
        return names;
    }
};

TEST_F(PhotoAddingTest, ChosenFilesAreMeasuredTimedAndGivenTheCurrentSettings)
{
    const std::string bmp = Copy("bmpsuite/g/rgb24.bmp", "pics/rgb24.bmp");
    const std::string jpg = Copy("libjpeg-turbo/testorig.jpg", "pics/testorig.jpg");
    const std::string png = Copy("pngsuite/basn2c08.png", "other pics/basn2c08.png");
    const timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, jpg.c_str(), times, 0), 0);

    model->AddChosenFiles({bmp, jpg, png, jpg});  // the same photo twice gives two rows

    ASSERT_EQ(model->Photos().size(), 4u) << "decoders not available yet?";
    EXPECT_THAT(FileNames(), ElementsAre("rgb24.bmp", "testorig.jpg", "basn2c08.png", "testorig.jpg"));
    const PhotoRecord& first = model->Photos()[0];
    EXPECT_EQ(first.sourcePath, bmp);
    EXPECT_EQ(first.width, 127);
    EXPECT_EQ(first.height, 64);
    // the first start's: JPEG 85, 1024 wide, the height following the source (64 / 127 * 1024 = 516.03)
    EXPECT_EQ(first.settings.nOutputWidth, 1024);
    EXPECT_EQ(first.settings.nOutputHeight, 516);
    EXPECT_EQ(first.settings.nOuptputFormat, FormatJpg);
    EXPECT_EQ(first.settings.nCurrentJpegQuality, 85);
    const PhotoRecord& second = model->Photos()[1];
    EXPECT_EQ(second.width, 227);
    EXPECT_EQ(second.height, 149);
    EXPECT_EQ(second.modificationTime, 1700000000);
    EXPECT_TRUE(std::regex_match(second.timeText, std::regex(R"(2023/11/1[45] \d{2}:\d{2}:20)")));
    EXPECT_EQ(model->Photos()[2].width, 32);

    EXPECT_TRUE(port.Messages().empty());
    EXPECT_EQ(port.ControlText(IDC_TOTAL_PHOTOS), "Total photos: 4");
    EXPECT_TRUE(port.Enabled().at(IDC_CONVERT));
    // the folder of the last photo of the whole list
    EXPECT_EQ(model->LastPhotoFolder(), Path("pics/").string());
}

// Files that are no photos are not added; one box lists them all with their reasons,
// whichever way they came.
TEST_F(PhotoAddingTest, FilesThatAreNoPhotosAreListedInOneBox)
{
    const std::string empty = WriteFile("empty.jpg", "").string();
    const std::string text = WriteFile("notes.bmp", "just some text, no picture").string();
    const std::string truncated = WriteFile("half.png", ReadFile(EngineData("pngsuite/basn2c08.png")).substr(0, 20)).string();
    model->AddChosenFiles({empty, text, truncated});
    EXPECT_THAT(model->Photos(), IsEmpty());
    const std::string unreadable = "It is not a photo that can be read, or it is damaged.";
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "3 files could not be added:\n\n" + empty + "\n    " + unreadable + "\n" + text +
                                           "\n    " + unreadable + "\n" + truncated + "\n    " + unreadable);
    EXPECT_EQ(port.Messages()[0].caption, "Pictavo");
    EXPECT_EQ(port.Messages()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(port.ListRebuilds(), 0);
    EXPECT_EQ(model->LastPhotoFolder(), "");
    port.ClearMessages();

    // A folder search: the photo is added, the box comes once after the list shows it.
    Copy("bmpsuite/g/rgb24.bmp", "album/rgb24.bmp");
    WriteFile("album/broken.jpg", "no JPEG");
    WriteFile("album/sub/broken.png", "no PNG");
    model->AddFolderTree(Path("album").string());
    EXPECT_THAT(FileNames(), ElementsAre("rgb24.bmp"));
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_THAT(port.Messages()[0].text, StartsWith("2 files could not be added:\n\n" + Path("album/broken.jpg").string()));
    EXPECT_THAT(port.Messages()[0].text, HasSubstr(Path("album/sub/broken.png").string()));
    EXPECT_EQ(port.ListRebuilds(), 1);
}

TEST(AddFailuresText, OneFileAndLongListsReadWell)
{
    const ReadFailure damaged{"It is damaged.", "", false};
    EXPECT_EQ(AddFailuresText({{"/a.jpg", damaged}}), "This file could not be added:\n\n/a.jpg\n    It is damaged.");
    // A reason that names the file is not preceded by the name again.
    EXPECT_EQ(AddFailuresText({{"/b.jpg", {"Access to /b.jpg was denied.", "/b.jpg", true}}}),
              "This file could not be added:\n\nAccess to /b.jpg was denied.");
    std::vector<AddFailure> many(5, AddFailure{"/c.jpg", damaged});
    EXPECT_EQ(AddFailuresText(many, 2),
              "5 files could not be added:\n\n/c.jpg\n    It is damaged.\n/c.jpg\n    It is damaged.\n\n... and 3 more.");
}

// Two files that have boxes of their own share the one box; a lone one keeps its box.
TEST_F(PhotoAddingTest, FailuresWithBoxesOfTheirOwnAreListedTogether)
{
    const std::string first = Copy("generated/wdp/rgb24_q90.wdp", "a.wdp");
    const std::string second = Copy("generated/wdp/rgb24_q90.wdp", "b.wdp");
    model->AddChosenFiles({first, second});  // no library loaded
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "2 files could not be added:\n\n" + first + "\n    can not decode the file\n" +
                                           second + "\n    can not decode the file");
}

TEST_F(PhotoAddingTest, AFileThatCannotBeOpenedNamesItsError)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their permissions";
    const std::string locked = Copy("bmpsuite/g/rgb24.bmp", "locked.bmp");
    fs::permissions(locked, fs::perms::none);
    model->AddChosenFiles({locked});
    EXPECT_THAT(model->Photos(), IsEmpty());
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "Access to " + locked + " was denied.");
    EXPECT_EQ(port.Messages()[0].caption, locked);
}

TEST_F(PhotoAddingTest, WdpFilesBecomeABmpOfTheirOwnNamedAfterThem)
{
    ASSERT_TRUE(model->Wdp().LoadWdpCodecLibrary(FAKE_LIBPHOTO_DIR));
    const std::string first = Copy("generated/wdp/rgb24_q90.wdp", "trip/holiday.wdp");
    const std::string second = Copy("generated/wdp/rgb24_q90.wdp", "home/holiday.wdp");
    model->AddChosenFiles({first, second});

    ASSERT_EQ(model->Photos().size(), 2u);
    const PhotoRecord& a = model->Photos()[0];
    const PhotoRecord& b = model->Photos()[1];
    EXPECT_EQ(a.fileName, "holiday.wdp");
    EXPECT_EQ(b.fileName, "holiday.wdp");
    EXPECT_NE(a.sourcePath, b.sourcePath);
    for (const PhotoRecord* photo : {&a, &b}) {
        EXPECT_THAT(photo->sourcePath, StartsWith(Path("tmp/").string()));
        EXPECT_EQ(fs::path(photo->sourcePath).filename(), "holiday.bmp");
        EXPECT_FALSE(fs::exists(photo->sourcePath));  // decoded again for each use
        EXPECT_EQ(photo->wdpPath, photo == &a ? first : second);
        // Decoded from the WDP file itself in a decoder helper (one is built beside the
        // tests): the stand-in library's BMP would be 127 wide.
        EXPECT_EQ(photo->width, 227);
        EXPECT_FALSE(photo->timeText.empty());  // the WDP file's time
    }
    EXPECT_THAT(port.Messages(), IsEmpty());
    // when the last photo came from a WDP file, its folder is the temporary one
    EXPECT_EQ(model->LastPhotoFolder(), fs::path(b.sourcePath).parent_path().string() + "/");
}

TEST_F(PhotoAddingTest, WdpFailuresAndTheCaseSensitiveRoute)
{
    const std::string wdp = Copy("generated/wdp/rgb24_q90.wdp", "a.wdp");
    model->AddChosenFiles({wdp});  // no library loaded
    EXPECT_THAT(port.MessageTexts(), ElementsAre("can not decode the file"));
    EXPECT_EQ(port.Messages()[0].caption, "Error");
    port.ClearMessages();

    ASSERT_TRUE(model->Wdp().LoadWdpCodecLibrary(FAKE_LIBPHOTO_DIR));
    const std::string empty = Copy("generated/wdp/bad/empty.wdp", "empty.wdp");
    model->AddChosenFiles({empty});
    // The library's own box, then the file among those that could not be added.
    ASSERT_EQ(port.Messages().size(), 2u);
    EXPECT_THAT(port.Messages()[0].text, StartsWith("Failed to convert " + empty + " to "));
    EXPECT_THAT(port.Messages()[0].text, HasSubstr("/empty.bmp"));
    EXPECT_THAT(port.Messages()[1].text, StartsWith("This file could not be added:\n\n" + empty + "\n"));
    port.ClearMessages();

    // An upper-case extension goes to the codec service directly, which knows JPEG XR
    // by its bytes.
    const std::string upper = Copy("generated/wdp/rgb24_q90.wdp", "photo.WDP");
    model->AddChosenFiles({upper});
    ASSERT_EQ(model->Photos().size(), 1u);
    EXPECT_EQ(model->Photos()[0].sourcePath, upper);
    EXPECT_TRUE(model->Photos()[0].wdpPath.empty());
    EXPECT_EQ(model->Photos()[0].width, 227);
    EXPECT_THAT(port.Messages(), IsEmpty());
}

TEST_F(PhotoAddingTest, RealWdpLibraryDecodesForTheList)
{
    if (!fs::exists(BinDir() / "libphoto.so")) GTEST_SKIP() << "libphoto.so not built";
    ASSERT_TRUE(model->Wdp().LoadWdpCodecLibrary(BinDir().string() + "/"));
    model->AddChosenFiles({Copy("generated/wdp/rgb24_q90.wdp", "real.wdp")});
    ASSERT_EQ(model->Photos().size(), 1u);
    EXPECT_EQ(model->Photos()[0].width, 227);
    EXPECT_EQ(model->Photos()[0].height, 149);
}

// ---- Folder search ----

TEST_F(PhotoAddingTest, SearchIsBreadthFirstAndFollowsNoLinkTwice)
{
    WriteFile("tree/a.JPG", "x");
    WriteFile("tree/x.hdp", "x");
    WriteFile("tree/y.raw", "x");
    WriteFile("tree/.hidden.png", "x");
    WriteFile("tree/sub/b.png", "x");
    WriteFile("tree/sub/deeper/c.Bmp", "x");
    WriteFile("tree/sub/deeper/d.tiff", "x");
    WriteFile("tree/sub2/e.wdp", "x");
    fs::create_directory_symlink(Path("tree"), Path("tree/sub/loop"));
    fs::create_directory_symlink(Path("tree/sub"), Path("tree/sub2/again"));

    std::vector<std::string> found;
    CFileFindAll finder(port);
    ASSERT_TRUE(finder.FindPhotoFiles(Path("tree").string(), found));

    const std::string root = Path("tree/").string();
    auto position = [&](const std::string& relative) {
        return std::find(found.begin(), found.end(), root + relative) - found.begin();
    };
    EXPECT_EQ(found.size(), 6u);
    const auto rootFiles = {position("a.JPG"), position(".hidden.png")};
    const auto level1 = {position("sub/b.png"), position("sub2/e.wdp")};
    const auto level2 = {position("sub/deeper/c.Bmp"), position("sub/deeper/d.tiff")};
    EXPECT_LT(std::max(rootFiles), std::min(level1));
    EXPECT_LT(std::max(level1), std::min(level2));
    EXPECT_LT(std::max(level2), static_cast<long>(found.size()));
    EXPECT_THAT(port.Messages(), IsEmpty());
}

TEST_F(PhotoAddingTest, SearchRootThatIsNoFolder)
{
    CFileFindAll finder(port);
    std::vector<std::string> found;
    EXPECT_FALSE(finder.FindPhotoFiles(Path("nowhere").string(), found));
    const std::string file = WriteFile("file.jpg", "x").string();
    EXPECT_FALSE(finder.FindPhotoFiles(file, found));
    EXPECT_THAT(port.MessageTexts(),
                ElementsAre(Path("nowhere/").string() + " occurs error!", file + "/ is not a right directory"));
    EXPECT_EQ(port.Messages()[0].caption, "Pictavo");
    EXPECT_THAT(found, IsEmpty());
}

TEST_F(PhotoAddingTest, PhotoExtensionsOfTheSearch)
{
    for (const char* name : {"a.bmp", "a.JPG", "a.jpeg", "a.gif", "a.tif", "a.TIFF", "a.png", "a.exif", "a.ico",
                             "a.emf", "a.wmf", "a.dib", "a.Wdp", "dir.x/a.png"})
        EXPECT_TRUE(CFileFindAll::IsPhotoFileName(name)) << name;
    for (const char* name : {"a.heic", "a.HEIF", "a.avif", "a.WebP", "a.jxl", "a.DNG", "a.cr2", "a.CR3", "a.nef",
                             "a.ARW", "a.orf", "a.RW2", "a.raf"})
        EXPECT_TRUE(CFileFindAll::IsPhotoFileName(name)) << name;
    for (const char* name : {"a.hdp", "a.raw", "a", "a.png.txt", "dir.png/a", "a.jp"})
        EXPECT_FALSE(CFileFindAll::IsPhotoFileName(name)) << name;
}

TEST_F(PhotoAddingTest, SearchAddsTheFoundPhotosAndRemembersTheFolder)
{
    Copy("bmpsuite/g/rgb24.bmp", "album/rgb24.bmp");
    Copy("pngsuite/basn2c08.png", "album/2024/basn2c08.png");
    WriteFile("album/readme.txt", "x");
    model->AddFolderTree(Path("album").string());
    EXPECT_THAT(FileNames(), ElementsAre("rgb24.bmp", "basn2c08.png"));
    EXPECT_EQ(store->GetProfileString(keys::kOption, keys::kLastBrowseFold, ""), Path("album/2024/").string());
    EXPECT_EQ(model->LastPhotoFolder(), "");
}

// Linux names are bytes: one that is not UTF-8 (a Latin-1 "é" here, and a lone
// continuation byte) is found, measured and kept byte for byte, and converts.
TEST_F(PhotoAddingTest, NamesThatAreNoUtf8AreKeptAsBytes)
{
    const std::string latin1 = Copy("pngsuite/basn2c08.png", "bytes/caf\xe9.png");
    const std::string stray = Copy("bmpsuite/g/rgb24.bmp", "bytes/x\x80y.bmp");
    model->AddFolderTree(Path("bytes").string());
    ASSERT_EQ(model->Photos().size(), 2u);
    EXPECT_EQ(model->Photos()[0].sourcePath, latin1);
    EXPECT_EQ(model->Photos()[0].width, 32);
    EXPECT_EQ(model->Photos()[1].sourcePath, stray);
    EXPECT_EQ(model->Photos()[1].width, 127);
    EXPECT_THAT(port.Messages(), IsEmpty());

    // The codec service's UTF-16 text carries the bytes there and back.
    for (const std::string& name : {latin1, stray, std::string("\xed\xb2\x80 \xf0\x9f\x93\xb7 \xc3\xa9")}) {
        const std::u16string wide = GdipExtWidePath(name);
        EXPECT_EQ(GdipExtNarrowPath(wide.c_str()), name);
    }
}

TEST_F(PhotoAddingTest, DropsAddFilesOfAnyNameButNoFolders)
{
    Copy("bmpsuite/g/rgb24.bmp", "dropped folder/inside.bmp");
    const std::string renamed = Copy("pngsuite/basn2c08.png", "picture.data");
    const std::string text = WriteFile("notes.txt", "hello").string();
    const std::string fifo = Path("pipe.jpg").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // would block a reader that waits for a writer
    model->AddDroppedItems({Path("dropped folder").string(), text, Path("gone.bmp").string(), fifo, renamed});
    EXPECT_THAT(FileNames(), ElementsAre("picture.data"));
    // Folders and vanished items are passed over; files that are no photos are listed.
    EXPECT_THAT(port.MessageTexts(),
                ElementsAre("2 files could not be added:\n\n" + text +
                            "\n    It is not a photo that can be read, or it is damaged.\n" + fifo +
                            "\n    It is not a regular file."));
    EXPECT_EQ(port.ListRebuilds(), 1);
}

}  // namespace
}  // namespace tallowin::test
