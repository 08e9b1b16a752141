// Photo information of HEIF/AVIF and JPEG XL files: read from sources made by heif-enc,
// cjxl and exiftool, written by the AVIF and JPEG XL encoders and into JPEG XR files
// (read back with exiftool), and damaged containers that must give a reason, never a
// crash.
#include "codec_test_support.h"
#include "container_metadata.h"
#include "photo_info_test_support.h"
#include "photo_metadata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

using metadata::MetadataStatus;
using metadata::PhotoMetadata;
using metadata::ReadPhotoMetadata;
using metadata::detail::TiffFromOffsetBlock;

fs::path Folder() { return DataDir() / "generated/photo-info"; }

bool Contains(const std::vector<uint8_t>& bytes, const std::string& text)
{
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

TEST(ContainerMetadata, TiffHeaderIsFoundBehindItsOffsetOrNotAtAll)
{
    const std::vector<uint8_t> tiff = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    std::vector<uint8_t> direct = {0, 0, 0, 0};
    direct.insert(direct.end(), tiff.begin(), tiff.end());
    EXPECT_EQ(TiffFromOffsetBlock(direct.data(), direct.size()), tiff);

    std::vector<uint8_t> withHeader = {0, 0, 0, 6, 'E', 'x', 'i', 'f', 0, 0};
    withHeader.insert(withHeader.end(), tiff.begin(), tiff.end());
    EXPECT_EQ(TiffFromOffsetBlock(withHeader.data(), withHeader.size()), tiff);

    std::vector<uint8_t> beyond = direct;
    beyond[0] = 0xFF;  // an offset far past the end
    EXPECT_TRUE(TiffFromOffsetBlock(beyond.data(), beyond.size()).empty());
    beyond[0] = 0;
    beyond[3] = 4;  // inside the block, but only 6 bytes remain: no room for a header
    EXPECT_TRUE(TiffFromOffsetBlock(beyond.data(), beyond.size()).empty());
    std::vector<uint8_t> notTiff = direct;
    notTiff[4] = 'X';
    EXPECT_TRUE(TiffFromOffsetBlock(notTiff.data(), notTiff.size()).empty());
    EXPECT_TRUE(TiffFromOffsetBlock(direct.data(), 3).empty());
    EXPECT_TRUE(TiffFromOffsetBlock(nullptr, 0).empty());
}

// exiv2 0.27 reads nothing from a file heif-enc writes; libheif finds every block.
TEST(ContainerMetadata, HeifAvifAndJxlSourcesGiveExifXmpAndTheirProfile)
{
    const std::vector<uint8_t> p3 = ReadBytes(Folder() / "display-p3.icc");
    ASSERT_FALSE(p3.empty());
    for (const char* name : {"camera.heic", "camera.avif", "camera.jxl"}) {
        const metadata::MetadataRead read = ReadPhotoMetadata((Folder() / name).string());
        EXPECT_EQ(read.result.status, MetadataStatus::Done) << name << ": " << read.result.reason;
        ASSERT_GE(read.metadata.exif.size(), 8u) << name;
        EXPECT_TRUE(read.metadata.exif[0] == 'I' || read.metadata.exif[0] == 'M') << name;
        EXPECT_TRUE(Contains(read.metadata.exif, "TallowinCam")) << name;
        EXPECT_NE(read.metadata.xmp.find("Ada Author"), std::string::npos) << name;
        EXPECT_EQ(read.metadata.xmp.find('\0'), std::string::npos) << name;
        if (std::string(name) == "camera.jxl") {
            // libjxl describes its decoded pixels with a profile of its own making.
            ASSERT_GE(read.metadata.icc.size(), 20u) << name;
            EXPECT_EQ(std::string(read.metadata.icc.begin() + 16, read.metadata.icc.begin() + 20), "RGB ");
        } else {
            EXPECT_EQ(read.metadata.icc, p3) << name;
        }
    }
}

TEST(ContainerMetadata, SourcesWithoutInformationGiveNothing)
{
    for (const char* name : {"photo.heic", "photo.avif", "photo.jxl", "grey.jxl"}) {
        const metadata::MetadataRead read = ReadPhotoMetadata((DataDir() / "generated/formats" / name).string());
        EXPECT_EQ(read.result.status, MetadataStatus::NothingToDo) << name << ": " << read.result.reason;
        EXPECT_TRUE(read.metadata.Empty()) << name;
    }
}

// Every cut of a HEIC and of a JPEG XL file, and JPEG XL boxes whose sizes lie, give a
// status (and whatever could be read before the damage), never a crash.
class ContainerMetadataDamage : public TestWorld {};

TEST_F(ContainerMetadataDamage, CutAndLyingFilesGiveAStatusNotACrash)
{
    for (const char* name : {"camera.heic", "camera.jxl"}) {
        const std::string bytes = ReadFile(Folder() / name);
        for (size_t cut = 0; cut < bytes.size(); cut += 97) {
            const fs::path path = WriteFile("cut", bytes.substr(0, cut));
            const metadata::MetadataRead read = ReadPhotoMetadata(path.string());
            if (!read.result.Ok()) {
                EXPECT_FALSE(read.result.reason.empty()) << name << " cut at " << cut;
            }
        }
    }
    const std::string jxl = ReadFile(Folder() / "camera.jxl");
    ASSERT_GT(jxl.size(), 40u);
    const std::string signature = jxl.substr(0, 12);
    // A box claiming 4 GiB, a box too short for its own header, a 64-bit size past the end.
    for (const std::string& box : {std::string("\xff\xff\xff\xf0"
                                               "Exif\0\0\0\0MM",
                                               14),
                                   std::string("\0\0\0\x04"
                                               "Exif",
                                               8),
                                   std::string("\0\0\0\x01"
                                               "Exif\x7f\xff\xff\xff\xff\xff\xff\xff",
                                               16)}) {
        const fs::path path = WriteFile("lying.jxl", signature + box + jxl.substr(12));
        const metadata::MetadataRead read = ReadPhotoMetadata(path.string());
        EXPECT_TRUE(read.metadata.exif.empty());
    }
}

// JPEG XR: the blocks go into the file's own directory, which exiftool reads and
// libjxr still decodes past; a file whose directory is damaged is left as it was.
TEST_F(ContainerMetadataDamage, JxrFilesTakeTheBlocksOrAreLeftAsTheyWere)
{
    if (!HaveTool("exiftool")) {
        GTEST_SKIP() << "exiftool is not installed";
    }
    const metadata::MetadataRead read = ReadPhotoMetadata((Folder() / "camera.heic").string());
    ASSERT_EQ(read.result.status, MetadataStatus::Done);
    for (const char* name : {"rgb24_q90.wdp", "bgra32_planar_alpha.wdp"}) {
        const fs::path path = WriteFile(name, ReadFile(DataDir() / "generated/wdp" / name));
        const Picture before = ReadPixels(Load(path).get());
        const metadata::MetadataResult result = metadata::WritePhotoMetadata(path.string(), read.metadata, {});
        EXPECT_EQ(result.status, MetadataStatus::Done) << name << ": " << result.reason;
        const CommandResult tags = RunCommand("exiftool -T -n -DateTimeOriginal -Make -GPSLatitude -Creator "
                                              "-ExifImageWidth " +
                                              Quoted(path) + " 2>/dev/null");
        std::istringstream line(tags.output);
        std::vector<std::string> values;
        for (std::string value; std::getline(line, value, '\t');) values.push_back(value);
        ASSERT_EQ(values.size(), 5u) << tags.output;
        EXPECT_EQ(values[0], "2024:05:17 10:11:12") << name;
        EXPECT_EQ(values[1], "TallowinCam") << name;
        EXPECT_EQ(values[2].substr(0, 6), "48.858") << name;
        EXPECT_EQ(values[3], "Ada Author") << name;
        EXPECT_EQ(std::stoi(values[4]), before.width) << name;
        EXPECT_EQ(RunCommand("exiftool -b -ICC_Profile " + Quoted(path) + " 2>/dev/null").output,
                  std::string(read.metadata.icc.begin(), read.metadata.icc.end()));
        const Picture after = ReadPixels(Load(path).get());
        EXPECT_EQ(after.bgr, before.bgr) << name;
        // And read back as a source: the same blocks come out of the directory.
        const metadata::MetadataRead back = ReadPhotoMetadata(path.string());
        EXPECT_EQ(back.result.status, MetadataStatus::Done) << name << ": " << back.result.reason;
        EXPECT_TRUE(Contains(back.metadata.exif, "TallowinCam")) << name;
        EXPECT_TRUE(Contains(back.metadata.exif, "2024:05:17 10:11:12")) << name;
        EXPECT_NE(back.metadata.xmp.find("Ada Author"), std::string::npos) << name;
        EXPECT_EQ(back.metadata.icc, read.metadata.icc) << name;
        // Every cut of the grown file reads without a crash.
        const std::string grown = ReadFile(path);
        for (size_t cut = 0; cut < grown.size(); cut += 211) {
            const metadata::MetadataRead part = ReadPhotoMetadata(WriteFile("cut.wdp", grown.substr(0, cut)).string());
            if (!part.result.Ok()) {
                EXPECT_FALSE(part.result.reason.empty());
            }
        }
    }

    // A directory pointing past the end, and one with more entries than the file holds.
    for (const std::string& bytes : {std::string("II\xbc\x01\x00\xff\xff\x00", 8) + std::string(40, '\0'),
                                     std::string("II\xbc\x01\x08\x00\x00\x00\xff\x00", 10)}) {
        const fs::path path = WriteFile("damaged.wdp", bytes);
        const metadata::MetadataResult result = metadata::WritePhotoMetadata(path.string(), read.metadata, {});
        EXPECT_EQ(result.status, MetadataStatus::Failed);
        EXPECT_FALSE(result.reason.empty());
        EXPECT_EQ(ReadFile(path), bytes);
    }
}

// The encoders write what they are given: exiftool reads it back from the AVIF and
// JPEG XL files, and a parameter of the wrong type is refused.
class EmbeddingEncoders : public TestWorld {
protected:
    void SetUp() override
    {
        TestWorld::SetUp();
        if (!HaveTool("exiftool")) {
            GTEST_SKIP() << "exiftool is not installed";
        }
    }

    GpStatus SaveWith(const fs::path& path, const std::u16string& mime, const PhotoMetadata* information,
                      ULONG type = EncoderParameterValueTypePointer)
    {
        Picture picture = Pattern(40, 30);
        ImagePtr bitmap = MakeBitmap(picture);
        const CLSID clsid = EncoderFor(mime);
        EncoderParameters parameters{};
        parameters.Count = 1;
        parameters.Parameter[0] =
            EncoderParameter{EncoderPhotoInformation, 1, type, const_cast<PhotoMetadata*>(information)};
        return GdipSaveImageToFile(bitmap.get(), Wide(path).c_str(), &clsid, &parameters);
    }

    std::string Value(const fs::path& file, const char* tag)
    {
        const CommandResult run =
            RunCommand(std::string("exiftool -T -n -") + tag + " " + Quoted(file) + " 2>/dev/null");
        return run.output.substr(0, run.output.find('\n'));
    }
};

TEST_F(EmbeddingEncoders, AvifAndJxlCarryTheGivenExifXmpAndProfile)
{
    // The blocks of the HEIC camera photo, prepared for a 40 x 30 output.
    const metadata::MetadataRead read = ReadPhotoMetadata((Folder() / "camera.heic").string());
    ASSERT_EQ(read.result.status, MetadataStatus::Done);
    const PhotoMetadata prepared = metadata::PrepareForOutput(read.metadata, {}, 40, 30);
    for (const auto& [name, mime] : {std::pair{"out.avif", u"image/avif"}, std::pair{"out.jxl", u"image/jxl"}}) {
        const fs::path path = Path(name);
        ASSERT_EQ(SaveWith(path, mime, &prepared), Ok) << name;
        EXPECT_EQ(Value(path, "DateTimeOriginal"), "2024:05:17 10:11:12") << name;
        EXPECT_EQ(Value(path, "Model"), "Test Model 7") << name;
        EXPECT_EQ(Value(path, "GPSLatitude").substr(0, 6), "48.858") << name;
        EXPECT_EQ(Value(path, "ExifImageWidth"), "40") << name;
        EXPECT_EQ(Value(path, "XMP-dc:Creator"), "Ada Author") << name;
        // Read back through our own reader too: the profile survives the round trip.
        const metadata::MetadataRead back = ReadPhotoMetadata(path.string());
        EXPECT_EQ(back.result.status, MetadataStatus::Done) << name;
        EXPECT_FALSE(back.metadata.icc.empty()) << name;
        EXPECT_TRUE(Contains(back.metadata.exif, "TallowinCam")) << name;
    }
    EXPECT_EQ(RunCommand("exiftool -b -ICC_Profile " + Quoted(Path("out.avif")) + " 2>/dev/null").output,
              std::string(prepared.icc.begin(), prepared.icc.end()));
}

TEST_F(EmbeddingEncoders, NoInformationWritesNoneAndAWrongParameterIsRefused)
{
    const PhotoMetadata none;
    for (const auto& [name, mime] : {std::pair{"out.avif", u"image/avif"}, std::pair{"out.jxl", u"image/jxl"}}) {
        const fs::path path = Path(name);
        ASSERT_EQ(SaveWith(path, mime, &none), Ok) << name;
        EXPECT_EQ(Value(path, "DateTimeOriginal"), "-") << name;
        EXPECT_TRUE(ReadPhotoMetadata(path.string()).metadata.Empty()) << name;
        fs::remove(path);
        EXPECT_EQ(SaveWith(path, mime, &none, EncoderParameterValueTypeLong), InvalidParameter) << name;
        EXPECT_FALSE(fs::exists(path)) << name;
    }
}

}  // namespace
}  // namespace tallowin::test
