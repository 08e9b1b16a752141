// Photo information carried from a source photo into converted outputs, checked with
// the independent exiftool.
#include "codec_test_support.h"
#include "photo_info_test_support.h"
#include "container_metadata.h"
#include "photo_metadata.h"
#include "png_profile_name.h"

#include <zlib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace tallowin::test {
namespace {

using metadata::MetadataOptions;
using metadata::MetadataStatus;
using metadata::NameUnnamedPngProfile;
using metadata::PhotoMetadata;
using metadata::ReadPhotoMetadata;
using metadata::WritePhotoMetadata;

// exiftool's view of a file: "Group:Tag" -> value, numbers unformatted (-n).
QJsonObject Tags(const std::filesystem::path& file)
{
    const CommandResult run = RunCommand("exiftool -j -n -G1 " + Quoted(file) + " 2>/dev/null");
    const QJsonArray list = QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array();
    return list.isEmpty() ? QJsonObject() : list.first().toObject();
}

bool HasGroupTag(const QJsonObject& tags, const QString& prefix)
{
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().contains(prefix)) {
            return true;
        }
    }
    return false;
}

// The four-character codes of a RIFF file's top-level chunks, in order.
std::vector<std::string> RiffChunks(const std::filesystem::path& file)
{
    const std::vector<uint8_t> bytes = ReadBytes(file);
    std::vector<std::string> chunks;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        chunks.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4);
        const uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | uint32_t(bytes[at + 7]) << 24;
        at += 8 + size + (size & 1);
    }
    return chunks;
}

// A WebP file with a profile has one extended header, then the profile chunk.
void ExpectSoundWebp(const std::filesystem::path& file)
{
    if (file.extension() != ".webp") {
        return;
    }
    const std::vector<std::string> chunks = RiffChunks(file);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks[0], "VP8X");
    EXPECT_EQ(chunks[1], "ICCP");
    EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "VP8X"), 1);
}

class MetadataTest : public TestWorld {
protected:
    void SetUp() override
    {
        TestWorld::SetUp();
        if (!HaveTool("exiftool")) {
            GTEST_SKIP() << "exiftool is not installed";
        }
        profile_ = DisplayP3Profile();
        ASSERT_FALSE(profile_.empty());
    }

    std::filesystem::path Encode(const std::string& name, const std::u16string& mime, int32_t w, int32_t h)
    {
        Picture picture = Pattern(w, h);
        ImagePtr bitmap = MakeBitmap(picture);
        const std::filesystem::path path = Path(name);
        EXPECT_EQ(Save(bitmap.get(), path, mime, mime == u"image/jpeg" ? 90 : -1), Ok);
        return path;
    }

    // A camera photo: capture date, camera, author, GPS (EXIF and XMP), IPTC byline,
    // orientation 6, a thumbnail and a Display P3 profile.
    std::filesystem::path CameraJpeg()
    {
        const std::filesystem::path photo = Encode("camera.jpg", u"image/jpeg", 64, 48);
        const std::filesystem::path thumb = Encode("thumb.jpg", u"image/jpeg", 16, 12);
        const std::filesystem::path icc = Path("p3.icc");
        WriteBytes(icc, profile_);
        const CommandResult run = RunCommand(
            "exiftool -q -overwrite_original -DateTimeOriginal='2024:05:17 10:11:12' -Make=TallowinCam "
            "-Model='Test Model 7' -Artist='Ada Author' -GPSLatitude=48.8584 -GPSLatitudeRef=N "
            "-GPSLongitude=2.2945 -GPSLongitudeRef=E -XMP-dc:Creator='Ada Author' -XMP-exif:GPSLatitude='48.8584 N' "
            "-XMP-tiff:Orientation#=6 -IPTC:By-line='Ada Author' -Orientation#=6 -ExifIFD:ExifImageWidth=64 "
            "-ExifIFD:ExifImageHeight=48 '-ThumbnailImage<=" + thumb.string() + "' '-ICC_Profile<=" + icc.string()
            + "' " + Quoted(photo));
        EXPECT_EQ(run.status, 0);
        return photo;
    }

    std::vector<uint8_t> ProfileOf(const std::filesystem::path& file)
    {
        const CommandResult run = RunCommand("exiftool -b -ICC_Profile " + Quoted(file) + " 2>/dev/null");
        return {run.output.begin(), run.output.end()};
    }

    std::vector<uint8_t> profile_;
};

TEST_F(MetadataTest, ReadingACameraPhotoGetsEveryBlockAndTheProfile)
{
    const auto read = ReadPhotoMetadata(CameraJpeg().string());
    EXPECT_EQ(read.result.status, MetadataStatus::Done) << read.result.reason;
    EXPECT_FALSE(read.metadata.exif.empty());
    EXPECT_NE(read.metadata.xmp.find("Ada Author"), std::string::npos);
    EXPECT_FALSE(read.metadata.iptc.empty());
    EXPECT_EQ(read.metadata.icc, profile_);
}

// What leaves the reading process is exiv2's serialisation: a block exiv2 cannot parse
// stops there, and the program's own process never parses a source's own bytes.
TEST_F(MetadataTest, BlocksThatCannotBeParsedAreLeftOutWhereTheyAreRead)
{
    // A JPEG whose XMP packet gives one property twice, as some published wallpapers' do.
    const std::filesystem::path photo = Encode("twice.jpg", u"image/jpeg", 16, 16);
    ASSERT_EQ(RunCommand("exiftool -q -overwrite_original -Make=TallowinCam " + Quoted(photo)).status, 0);
    const std::string packet =
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/'>"
        "<photoshop:City>Bilbao</photoshop:City><photoshop:City>Bilbao</photoshop:City>"
        "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
    const std::string body = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet;
    std::vector<uint8_t> bytes = ReadBytes(photo);
    const size_t length = body.size() + 2;
    std::vector<uint8_t> segment = {0xFF, 0xE1, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    segment.insert(segment.end(), body.begin(), body.end());
    bytes.insert(bytes.begin() + 2, segment.begin(), segment.end());
    WriteBytes(photo, bytes);

    const auto read = ReadPhotoMetadata(photo.string());
    EXPECT_EQ(read.result.status, MetadataStatus::Partly);
    EXPECT_EQ(read.result.reason, "XMP left out: the packet could not be parsed");
    EXPECT_TRUE(read.metadata.xmp.empty());
    ASSERT_FALSE(read.metadata.exif.empty());

    // The same for the raw blocks the HEIF, JPEG XL and JPEG XR readers hand over; what
    // exiv2 wrote comes back unchanged.
    metadata::MetadataRead raw;
    raw.result.status = MetadataStatus::Done;
    raw.metadata.exif = read.metadata.exif;
    raw.metadata.xmp = packet;
    raw.metadata.iptc = {0x1C, 0x02, 0x50, 0x00};  // a dataset header cut short
    metadata::detail::NormaliseInformation(raw);
    EXPECT_EQ(raw.metadata.exif, read.metadata.exif);
    EXPECT_TRUE(raw.metadata.xmp.empty());
    EXPECT_TRUE(raw.metadata.iptc.empty());
    EXPECT_EQ(raw.result.status, MetadataStatus::Partly);
    EXPECT_EQ(raw.result.reason.find("XMP left out: the packet could not be parsed"), 0u) << raw.result.reason;

    // Converted, the photo says once what was left out.
    const std::filesystem::path output = Encode("out.jpg", u"image/jpeg", 16, 16);
    const metadata::MetadataResult carried = metadata::CarryPhotoInformation(photo.string(), output.string(), {});
    EXPECT_EQ(carried.status, MetadataStatus::Partly);
    EXPECT_EQ(carried.reason, "XMP left out: the packet could not be parsed");
    EXPECT_EQ(Tags(output).value("IFD0:Make").toString(), "TallowinCam");
}

TEST_F(MetadataTest, SourcesWithoutInformationOrUnreadableReportIt)
{
    const auto plain = ReadPhotoMetadata(Encode("plain.png", u"image/png", 8, 8).string());
    EXPECT_EQ(plain.result.status, MetadataStatus::NothingToDo);
    EXPECT_TRUE(plain.metadata.Empty());

    const auto missing = ReadPhotoMetadata(Path("no such photo.jpg").string());
    EXPECT_EQ(missing.result.status, MetadataStatus::Failed);
    EXPECT_FALSE(missing.result.reason.empty());

    WriteBytes(Path("junk.jpg"), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'h', 'o', 't', 'o'});
    const auto junk = ReadPhotoMetadata(Path("junk.jpg").string());
    EXPECT_FALSE(junk.result.Ok());
    EXPECT_FALSE(junk.result.reason.empty());
}

struct OutputCase {
    const char* name;
    const char* file;
    const char16_t* mime;  // nullptr: WebP, made from a PNG with cwebp
};

class MetadataOutputTest : public MetadataTest, public ::testing::WithParamInterface<OutputCase> {
protected:
    std::filesystem::path Output(int32_t w, int32_t h)
    {
        const OutputCase& c = GetParam();
        if (c.mime != nullptr) {
            return Encode(c.file, c.mime, w, h);
        }
        if (!HaveTool("cwebp")) {
            return {};
        }
        const std::filesystem::path png = Encode("for-webp.png", u"image/png", w, h);
        const std::filesystem::path webp = Path(c.file);
        EXPECT_EQ(RunCommand("cwebp -quiet " + Quoted(png) + " -o " + Quoted(webp)).status, 0);
        return webp;
    }
};

TEST_P(MetadataOutputTest, KeepsDateCameraGpsAndProfileWithUprightOrientationNewSizeAndNoThumbnail)
{
    const auto read = ReadPhotoMetadata(CameraJpeg().string());
    const std::filesystem::path out = Output(40, 30);
    if (out.empty()) {
        GTEST_SKIP() << "no encoder tool for " << GetParam().name;
    }
    const auto written = WritePhotoMetadata(out.string(), read.metadata, MetadataOptions{});
    const bool holdsIptc = std::string(GetParam().name) != "WebP";
    EXPECT_EQ(written.status, holdsIptc ? MetadataStatus::Done : MetadataStatus::Partly) << written.reason;

    const QJsonObject tags = Tags(out);
    EXPECT_EQ(tags["ExifIFD:DateTimeOriginal"].toString(), "2024:05:17 10:11:12");
    EXPECT_EQ(tags["IFD0:Make"].toString(), "TallowinCam");
    EXPECT_EQ(tags["IFD0:Model"].toString(), "Test Model 7");
    EXPECT_EQ(tags["IFD0:Artist"].toString(), "Ada Author");
    EXPECT_NEAR(tags["GPS:GPSLatitude"].toDouble(), 48.8584, 1e-4);
    EXPECT_NEAR(tags["GPS:GPSLongitude"].toDouble(), 2.2945, 1e-4);
    EXPECT_EQ(tags["XMP-dc:Creator"].toString(), "Ada Author");
    EXPECT_EQ(tags["IFD0:Orientation"].toInt(), 1);
    EXPECT_EQ(tags["XMP-tiff:Orientation"].toInt(), 1);
    EXPECT_EQ(tags["ExifIFD:ExifImageWidth"].toInt(), 40);
    EXPECT_EQ(tags["ExifIFD:ExifImageHeight"].toInt(), 30);
    EXPECT_FALSE(HasGroupTag(tags, "IFD1:")) << "the source's thumbnail was copied";
    if (holdsIptc) {
        EXPECT_EQ(tags["IPTC:By-line"].toString(), "Ada Author");
    }
    EXPECT_EQ(ProfileOf(out), profile_);
    // The pixels are still the encoder's: the file decodes at its size.
    EXPECT_EQ(tags["Composite:ImageSize"].toString(), "40 30");
    ExpectSoundWebp(out);
}

// PNG names a profile with 1 to 79 bytes; libpng drops an unnamed one, and with it the
// photo's colours.
TEST_F(MetadataTest, APngOutputsProfileHasANameAndASoundChunk)
{
    const auto read = ReadPhotoMetadata(CameraJpeg().string());
    const std::filesystem::path out = Encode("named.png", u"image/png", 40, 30);
    ASSERT_NE(WritePhotoMetadata(out.string(), read.metadata, MetadataOptions{}).status, MetadataStatus::Failed);

    const std::vector<uint8_t> file = ReadBytes(out);
    size_t at = 8;
    bool found = false;
    while (at + 12 <= file.size()) {
        const uint32_t length = uint32_t{file[at]} << 24 | uint32_t{file[at + 1]} << 16 | uint32_t{file[at + 2]} << 8
                                | file[at + 3];
        ASSERT_LE(at + 12 + length, file.size());
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), &file[at + 4], length + 4);
        const size_t end = at + 8 + length;
        EXPECT_EQ(crc, uLong{file[end]} << 24 | uLong{file[end + 1]} << 16 | uLong{file[end + 2]} << 8 | file[end + 3])
            << "chunk at " << at;
        if (std::memcmp(&file[at + 4], "iCCP", 4) == 0) {
            found = true;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[at + 8])), "ICC profile");
        }
        at = end + 4;
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(ProfileOf(out), profile_);
    // Anything but a sound PNG is left as it is.
    const std::filesystem::path junk = Path("junk.png");
    WriteBytes(junk, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 200, 'i', 'C', 'C', 'P', 0, 0});
    EXPECT_FALSE(NameUnnamedPngProfile(junk.string()));
    EXPECT_EQ(ReadBytes(junk).size(), 18u);
}

TEST_P(MetadataOutputTest, RemoveLocationDropsEveryGpsFieldAndKeepsTheRest)
{
    const auto read = ReadPhotoMetadata(CameraJpeg().string());
    const std::filesystem::path out = Output(40, 30);
    if (out.empty()) {
        GTEST_SKIP() << "no encoder tool for " << GetParam().name;
    }
    MetadataOptions options;
    options.removeLocation = true;
    EXPECT_TRUE(WritePhotoMetadata(out.string(), read.metadata, options).status != MetadataStatus::Failed);

    const QJsonObject tags = Tags(out);
    EXPECT_FALSE(HasGroupTag(tags, "GPS")) << QJsonDocument(tags).toJson().toStdString();
    EXPECT_EQ(tags["ExifIFD:DateTimeOriginal"].toString(), "2024:05:17 10:11:12");
    EXPECT_EQ(tags["IFD0:Make"].toString(), "TallowinCam");
    EXPECT_EQ(tags["XMP-dc:Creator"].toString(), "Ada Author");
}

TEST_P(MetadataOutputTest, StrippingWritesNothingAndLeavesTheFileAsEncoded)
{
    const auto read = ReadPhotoMetadata(CameraJpeg().string());
    const std::filesystem::path out = Output(40, 30);
    if (out.empty()) {
        GTEST_SKIP() << "no encoder tool for " << GetParam().name;
    }
    const std::vector<uint8_t> before = ReadBytes(out);
    MetadataOptions options;
    options.keepMetadata = false;
    options.keepIcc = false;
    EXPECT_EQ(WritePhotoMetadata(out.string(), read.metadata, options).status, MetadataStatus::NothingToDo);
    EXPECT_EQ(ReadBytes(out), before);

    // Keeping only the profile (pixels left in it) writes the profile and nothing else.
    options.keepIcc = true;
    EXPECT_EQ(WritePhotoMetadata(out.string(), read.metadata, options).status, MetadataStatus::Done);
    const QJsonObject tags = Tags(out);
    EXPECT_FALSE(tags.contains("IFD0:Make"));
    EXPECT_FALSE(HasGroupTag(tags, "GPS"));
    EXPECT_EQ(ProfileOf(out), profile_);
    ExpectSoundWebp(out);
}

INSTANTIATE_TEST_SUITE_P(Formats, MetadataOutputTest,
                         ::testing::Values(OutputCase{"JPEG", "out.jpg", u"image/jpeg"},
                                           OutputCase{"PNG", "out.png", u"image/png"},
                                           OutputCase{"TIFF", "out.tif", u"image/tiff"},
                                           OutputCase{"WebP", "out.webp", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

// A TIFF source carries its strip layout and subfile type in IFD0; none of it may
// reach an output, whose own layout is the encoder's.
TEST_F(MetadataTest, ATiffSourcesRasterLayoutStaysBehind)
{
    const std::filesystem::path source = Encode("source.tif", u"image/tiff", 64, 48);
    ASSERT_EQ(RunCommand("exiftool -q -overwrite_original -Make=TallowinCam -SubfileType#=1 " + Quoted(source)).status, 0);
    const auto read = ReadPhotoMetadata(source.string());
    ASSERT_EQ(read.result.status, MetadataStatus::Done) << read.result.reason;

    const std::filesystem::path jpeg = Encode("out.jpg", u"image/jpeg", 40, 30);
    EXPECT_EQ(WritePhotoMetadata(jpeg.string(), read.metadata, {}).status, MetadataStatus::Done);
    const QJsonObject jpegTags = Tags(jpeg);
    EXPECT_EQ(jpegTags["IFD0:Make"].toString(), "TallowinCam");
    EXPECT_FALSE(jpegTags.contains("IFD0:StripOffsets"));
    EXPECT_FALSE(jpegTags.contains("IFD0:ImageWidth"));
    EXPECT_FALSE(jpegTags.contains("IFD0:SubfileType"));

    const std::filesystem::path tiff = Encode("out.tif", u"image/tiff", 40, 30);
    EXPECT_EQ(WritePhotoMetadata(tiff.string(), read.metadata, {}).status, MetadataStatus::Done);
    const QJsonObject tiffTags = Tags(tiff);
    EXPECT_EQ(tiffTags["IFD0:Make"].toString(), "TallowinCam");
    EXPECT_EQ(tiffTags["IFD0:ImageWidth"].toInt(), 40);
    EXPECT_FALSE(tiffTags.contains("IFD0:SubfileType"));
    const Picture decoded = ReadPixels(Load(tiff).get());
    EXPECT_TRUE(SamePixels(decoded, Pattern(40, 30)));
}

// Outputs exiv2 cannot write into keep their encoded bytes, and the result says why.
TEST_F(MetadataTest, FormatsWithoutRoomForInformationAreReportedAndLeftIntact)
{
    const auto read = ReadPhotoMetadata(CameraJpeg().string());
    std::vector<std::filesystem::path> outputs = {Encode("out.bmp", u"image/bmp", 40, 30),
                                                  Encode("out.gif", u"image/gif", 40, 30)};
    const std::filesystem::path png = Encode("for-others.png", u"image/png", 40, 30);
    if (HaveTool("heif-enc")) {
        outputs.push_back(Path("out.avif"));
        EXPECT_EQ(RunCommand("heif-enc -q 50 -A " + Quoted(png) + " -o " + Quoted(outputs.back()) + " >/dev/null").status, 0);
    }
    if (HaveTool("cjxl")) {
        outputs.push_back(Path("out.jxl"));
        EXPECT_EQ(RunCommand("cjxl -q 90 " + Quoted(png) + " " + Quoted(outputs.back()) + " >/dev/null 2>&1").status, 0);
    }
    for (const std::filesystem::path& out : outputs) {
        const std::vector<uint8_t> before = ReadBytes(out);
        ASSERT_FALSE(before.empty()) << out;
        const auto written = WritePhotoMetadata(out.string(), read.metadata, {});
        EXPECT_EQ(written.status, MetadataStatus::Unsupported) << out << ": " << written.reason;
        EXPECT_FALSE(written.reason.empty()) << out;
        EXPECT_EQ(ReadBytes(out), before) << out;
    }
}

// The one call of the conversion: information carried into the staged output, and a
// source that cannot be read is a warning that leaves the output as encoded.
TEST_F(MetadataTest, CarryingInformationIntoAStagedOutput)
{
    const std::filesystem::path source = CameraJpeg();
    const std::filesystem::path out = Encode("out.jpg", u"image/jpeg", 40, 30);
    EXPECT_EQ(metadata::CarryPhotoInformation(source.string(), out.string(), {}).status, MetadataStatus::Done);
    EXPECT_EQ(Tags(out)["IFD0:Make"].toString(), "TallowinCam");

    const std::filesystem::path other = Encode("other.jpg", u"image/jpeg", 40, 30);
    const std::vector<uint8_t> before = ReadBytes(other);
    const auto fromBmp = metadata::CarryPhotoInformation(Encode("source.bmp", u"image/bmp", 8, 8).string(),
                                                         other.string(), {});
    EXPECT_EQ(fromBmp.status, MetadataStatus::NothingToDo) << fromBmp.reason;
    const auto fromMissing = metadata::CarryPhotoInformation(Path("gone.jpg").string(), other.string(), {});
    EXPECT_EQ(fromMissing.status, MetadataStatus::Failed);
    EXPECT_FALSE(fromMissing.reason.empty());
    EXPECT_EQ(ReadBytes(other), before);
}

// exiv2 throws on a damaged output; the throw becomes a failure with a reason.
TEST_F(MetadataTest, ADamagedOutputIsAFailureWithAReasonNotAThrow)
{
    const auto read = ReadPhotoMetadata(CameraJpeg().string());
    const std::filesystem::path out = Encode("out.jpg", u"image/jpeg", 40, 30);
    std::vector<uint8_t> bytes = ReadBytes(out);
    bytes.resize(40);  // the markers stop in the middle of a segment
    WriteBytes(out, bytes);
    const auto written = WritePhotoMetadata(out.string(), read.metadata, {});
    EXPECT_EQ(written.status, MetadataStatus::Failed);
    EXPECT_FALSE(written.reason.empty());
}

// Workers convert photos at the same time; the XMP toolkit inside exiv2 must be set
// up once and used under its lock.
TEST_F(MetadataTest, WorkersReadAndWriteAtTheSameTime)
{
    const std::filesystem::path source = CameraJpeg();
    std::vector<std::filesystem::path> outputs;
    for (int i = 0; i < 4; ++i) {
        outputs.push_back(Encode("out" + std::to_string(i) + ".png", u"image/png", 40, 30));
    }
    std::vector<MetadataStatus> statuses(outputs.size(), MetadataStatus::Failed);
    std::vector<std::thread> workers;
    for (size_t i = 0; i < outputs.size(); ++i) {
        workers.emplace_back([&, i] {
            for (int round = 0; round < 5; ++round) {
                const auto read = ReadPhotoMetadata(source.string());
                statuses[i] = WritePhotoMetadata(outputs[i].string(), read.metadata, MetadataOptions{}).status;
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (size_t i = 0; i < outputs.size(); ++i) {
        EXPECT_EQ(statuses[i], MetadataStatus::Done);
        const auto back = ReadPhotoMetadata(outputs[i].string());
        EXPECT_NE(back.metadata.xmp.find("Ada Author"), std::string::npos);
        EXPECT_EQ(back.metadata.icc, profile_);
    }
}

// The blocks prepared for encoders that embed them themselves (AVIF, JPEG XL).
TEST_F(MetadataTest, PreparedBlocksFollowTheOptions)
{
    const auto read = ReadPhotoMetadata(CameraJpeg().string());
    MetadataOptions options;
    options.removeLocation = true;
    metadata::MetadataResult result;
    const PhotoMetadata prepared = metadata::PrepareForOutput(read.metadata, options, 40, 30, &result);
    EXPECT_TRUE(result.Ok()) << result.reason;
    EXPECT_FALSE(prepared.exif.empty());
    EXPECT_LT(prepared.exif.size(), read.metadata.exif.size());  // thumbnail and GPS gone
    EXPECT_EQ(prepared.xmp.find("GPSLatitude"), std::string::npos);
    EXPECT_NE(prepared.xmp.find("Ada Author"), std::string::npos);
    EXPECT_EQ(prepared.icc, profile_);

    options.keepMetadata = false;
    options.keepIcc = false;
    EXPECT_TRUE(metadata::PrepareForOutput(read.metadata, options, 40, 30).Empty());

    PhotoMetadata damaged = read.metadata;
    damaged.exif.assign(12, 0xFF);
    damaged.xmp = "<x:xmpmeta unterminated";
    result = {};
    const PhotoMetadata fromDamaged = metadata::PrepareForOutput(damaged, MetadataOptions{}, 40, 30, &result);
    EXPECT_EQ(result.status, MetadataStatus::Partly);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_TRUE(fromDamaged.exif.empty());
    EXPECT_FALSE(fromDamaged.iptc.empty());
}

}  // namespace
}  // namespace tallowin::test
