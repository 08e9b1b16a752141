// Photo information and colours through tallowin-batch: a camera photo's capture date,
// camera, position and colour profile reach JPEG, PNG, TIFF, WebP, AVIF, JPEG XL and
// JPEG XR outputs (read back with exiftool, and djxl for a JPEG XL profile), HEIC, AVIF and
// JPEG XL sources give theirs to a JPEG, --strip and --remove-location leave out what
// they say, and a Display P3 photo written as an indexed BMP gets its sRGB colours.
#include "codec_test_support.h"
#include "photo_info_test_support.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

// The largest difference of one channel between two pictures of the same size.
int MaxDifference(const Picture& a, const Picture& b)
{
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    int worst = 0;
    for (int32_t y = 0; y < std::min(a.height, b.height); ++y) {
        for (int32_t x = 0; x < std::min(a.width, b.width) * 3; ++x) {
            worst = std::max(worst, std::abs(int(a.At(0, y)[x]) - int(b.At(0, y)[x])));
        }
    }
    return worst;
}

// `picture` taken from `profile` into sRGB with lcms2 itself.
Picture ToSrgb(const Picture& picture, const std::vector<uint8_t>& profile)
{
    cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    Picture out = picture;
    for (int32_t y = 0; y < picture.height; ++y) {
        cmsDoTransform(transform, picture.At(0, y), out.At(0, y), static_cast<cmsUInt32Number>(picture.width));
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);
    return out;
}

class BatchPhotoInfoTest : public TestWorld {
protected:
    void SetUp() override
    {
        TestWorld::SetUp();
        if (!HaveTool("exiftool")) {
            GTEST_SKIP() << "exiftool is not installed";
        }
        fs::create_directories(Path("src"));
        fs::create_directories(Path("out"));
        p3_ = DisplayP3Profile();
        ASSERT_FALSE(p3_.empty());
        WriteBytes(Path("p3.icc"), p3_);
    }

    int runs_ = 0;

    // Runs the tool on `source` and returns the output file `name` in the run folder.
    // Each run has an output folder of its own: run folders are named by the second, so
    // two runs in one second would otherwise share one.
    fs::path Convert(const std::string& options, const fs::path& source, const std::string& name)
    {
        const fs::path outputFolder = Path("out") / std::to_string(++runs_);
        const CommandResult run = RunCommand(Quoted(BinDir() / "tallowin-batch") + " -q -j 1 --overwrite never -o " +
                                             Quoted(outputFolder) + " " + options + " " + Quoted(source) +
                                             " </dev/null 2>" + Quoted(Path("stderr.txt")));
        EXPECT_EQ(run.status, 0) << options << "\n" << ReadFile(Path("stderr.txt"));
        std::string text = run.output;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        const size_t newline = text.rfind('\n');
        const fs::path folder = newline == std::string::npos ? fs::path(text) : fs::path(text.substr(newline + 1));
        return folder / name;
    }

    // A camera photo in Display P3: capture date, camera, GPS, orientation 6 and the
    // pixel size 64 x 48 in its EXIF.
    fs::path CameraJpeg()
    {
        picture_ = Pattern(64, 48);
        ImagePtr bitmap = MakeBitmap(picture_);
        const fs::path photo = Path("src/camera.jpg");
        EXPECT_EQ(Save(bitmap.get(), photo, u"image/jpeg", 95), Ok);
        const CommandResult run = RunCommand(
            "exiftool -q -overwrite_original -DateTimeOriginal='2024:05:17 10:11:12' -Make=TallowinCam "
            "-Model='Test Model 7' -GPSLatitude=48.8584 -GPSLatitudeRef=N -GPSLongitude=2.2945 -GPSLongitudeRef=E "
            "-Orientation#=6 -ExifIFD:ExifImageWidth=64 -ExifIFD:ExifImageHeight=48 '-ICC_Profile<=" +
            Path("p3.icc").string() + "' " + Quoted(photo));
        EXPECT_EQ(run.status, 0);
        return photo;
    }

    // exiftool's values of `tags`, numbers unformatted; "-" for a tag the file lacks.
    std::vector<std::string> Values(const fs::path& file, std::initializer_list<const char*> tags)
    {
        std::string command = "exiftool -T -n";
        for (const char* tag : tags) command += std::string(" -") + tag;
        const CommandResult run = RunCommand(command + " " + Quoted(file) + " 2>/dev/null");
        std::vector<std::string> values;
        std::istringstream line(run.output.substr(0, run.output.find('\n')));
        for (std::string value; std::getline(line, value, '\t');) values.push_back(value);
        values.resize(tags.size());
        return values;
    }

    std::vector<uint8_t> ProfileOf(const fs::path& file)
    {
        const CommandResult run = RunCommand("exiftool -b -ICC_Profile " + Quoted(file) + " 2>/dev/null");
        return {run.output.begin(), run.output.end()};
    }

    // The primaries of a JPEG XL file's colour as djxl writes them into a 16-bit PNG's
    // profile (a JPEG XL profile lives in the codestream, where exiftool cannot see it):
    // the red primary's x as exiftool prints it, "" when djxl wrote no profile.
    std::string JxlRedPrimary(const fs::path& file)
    {
        const fs::path png = Path("djxl.png");
        fs::remove(png);
        if (RunCommand("djxl " + Quoted(file) + " " + Quoted(png) + " >/dev/null 2>&1").status != 0) {
            return "djxl failed";
        }
        const CommandResult run = RunCommand("exiftool -T -n -RedMatrixColumn " + Quoted(png) + " 2>/dev/null");
        std::string value = run.output.substr(0, run.output.find('\n'));
        return value == "-" ? "" : value;
    }

    // Two red matrix columns as exiftool prints them, equal to within the rounding of
    // the profiles' fixed-point numbers.
    static bool SameColumn(const std::string& a, const std::string& b)
    {
        std::istringstream first(a);
        std::istringstream second(b);
        int count = 0;
        for (double x = 0, y = 0; first >> x && second >> y; ++count) {
            if (std::abs(x - y) > 0.0005) return false;
        }
        return count == 3;
    }

    // The red matrix column of the Display P3 profile, as exiftool prints it.
    std::string P3RedColumn()
    {
        const CommandResult run =
            RunCommand("exiftool -T -n -RedMatrixColumn " + Quoted(Path("p3.icc")) + " 2>/dev/null");
        return run.output.substr(0, run.output.find('\n'));
    }

    // A JPEG XR directory has no orientation tag (its codestream says how to turn):
    // `orientation` is "-" for it.
    void ExpectCameraInformation(const fs::path& output, const std::string& width, const std::string& height,
                                 const std::string& orientation = "1")
    {
        const std::vector<std::string> values =
            Values(output,
                   {"DateTimeOriginal", "Make", "Model", "GPSLatitude", "GPSLongitude", "Orientation", "ExifImageWidth",
                    "ExifImageHeight"});
        EXPECT_EQ(values[0], "2024:05:17 10:11:12") << output;
        EXPECT_EQ(values[1], "TallowinCam") << output;
        EXPECT_EQ(values[2], "Test Model 7") << output;
        EXPECT_EQ(values[3].substr(0, 6), "48.858") << output;
        EXPECT_EQ(values[4].substr(0, 5), "2.294") << output;
        EXPECT_EQ(values[5], orientation) << output;
        EXPECT_EQ(values[6], width) << output;
        EXPECT_EQ(values[7], height) << output;
    }

    std::vector<uint8_t> p3_;
    Picture picture_;
};

TEST_F(BatchPhotoInfoTest, DateCameraGpsAndProfileReachJpegPngTiffAndWebpUpright)
{
    const fs::path source = CameraJpeg();
    for (const auto& [format, name] : {std::pair{"jpg", "camera.jpg"}, std::pair{"png", "camera.png"},
                                       std::pair{"tif", "camera.tif"}, std::pair{"webp", "camera.webp"}}) {
        const fs::path output = Convert(std::string("-f ") + format + " --size 40x30", source, name);
        ASSERT_TRUE(fs::exists(output)) << format;
        const std::vector<std::string> values = Values(
            output, {"DateTimeOriginal", "Make", "Model", "GPSLatitude", "GPSLongitude", "Orientation",
                     "ExifImageWidth", "ExifImageHeight"});
        EXPECT_EQ(values[0], "2024:05:17 10:11:12") << format;
        EXPECT_EQ(values[1], "TallowinCam") << format;
        EXPECT_EQ(values[2], "Test Model 7") << format;
        EXPECT_EQ(values[3].substr(0, 6), "48.858") << format;
        EXPECT_EQ(values[4].substr(0, 5), "2.294") << format;
        EXPECT_EQ(values[5], "1") << format;
        EXPECT_EQ(values[6], "40") << format;
        EXPECT_EQ(values[7], "30") << format;
        EXPECT_EQ(ProfileOf(output), p3_) << format;
        // The output is no partial file left under a staged name.
        EXPECT_EQ(std::distance(fs::directory_iterator(output.parent_path()), fs::directory_iterator()), 1) << format;
        fs::remove_all(output.parent_path());
    }
}

// AVIF and JPEG XL get theirs from their encoders: EXIF and XMP items or boxes, the
// profile in the "colr" box or the codestream.
TEST_F(BatchPhotoInfoTest, DateCameraGpsAndProfileReachAvifAndJxlUpright)
{
    if (!HaveTool("djxl")) {
        GTEST_SKIP() << "djxl is not installed";
    }
    const fs::path source = CameraJpeg();
    for (const auto& [format, name] : {std::pair{"avif", "camera.avif"}, std::pair{"jxl", "camera.jxl"}}) {
        const fs::path output = Convert(std::string("-f ") + format + " --size 40x30", source, name);
        ASSERT_TRUE(fs::exists(output)) << format;
        ExpectCameraInformation(output, "40", "30");
        if (std::string(format) == "avif") {
            EXPECT_EQ(ProfileOf(output), p3_);
        } else {
            EXPECT_TRUE(SameColumn(JxlRedPrimary(output), P3RedColumn())) << JxlRedPrimary(output);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(output.parent_path()), fs::directory_iterator()), 1) << format;
        fs::remove_all(output.parent_path());
    }
}

TEST_F(BatchPhotoInfoTest, RemoveLocationAndStripInAvifAndJxl)
{
    if (!HaveTool("djxl")) {
        GTEST_SKIP() << "djxl is not installed";
    }
    const fs::path source = CameraJpeg();
    for (const auto& [format, name] : {std::pair{"avif", "camera.avif"}, std::pair{"jxl", "camera.jxl"}}) {
        const fs::path located = Convert(std::string("-f ") + format + " --width 32 --remove-location", source, name);
        ASSERT_TRUE(fs::exists(located)) << format;
        EXPECT_EQ(Values(located, {"DateTimeOriginal", "Make", "GPSLatitude", "GPSLongitude"}),
                  (std::vector<std::string>{"2024:05:17 10:11:12", "TallowinCam", "-", "-"}))
            << format;
        fs::remove_all(located.parent_path());

        const fs::path stripped = Convert(std::string("-f ") + format + " --width 32 --strip", source, name);
        ASSERT_TRUE(fs::exists(stripped)) << format;
        EXPECT_EQ(Values(stripped, {"DateTimeOriginal", "Make", "GPSLatitude", "Orientation"}),
                  (std::vector<std::string>{"-", "-", "-", "-"}))
            << format;
        // No profile: the pixels were made sRGB.
        if (std::string(format) == "avif") {
            EXPECT_TRUE(ProfileOf(stripped).empty());
        } else {
            const std::string red = JxlRedPrimary(stripped);
            EXPECT_NE(red, "djxl failed");
            EXPECT_FALSE(SameColumn(red, P3RedColumn())) << red;
        }
        fs::remove_all(stripped.parent_path());
    }
}

// JPEG XR gets it in its own directory: EXIF and GPS IFDs, XMP and the profile, and
// the file still decodes with libjxr's own tool; converted again, it gives them on.
TEST_F(BatchPhotoInfoTest, DateCameraGpsAndProfileReachWdpWhichStillDecodes)
{
    const fs::path source = CameraJpeg();
    const fs::path output = Convert("-f wdp --size 40x30", source, "camera.wdp");
    ASSERT_TRUE(fs::exists(output));
    ExpectCameraInformation(output, "40", "30", "-");
    EXPECT_EQ(ProfileOf(output), p3_);
    if (HaveTool("JxrDecApp")) {
        const fs::path bmp = Path("decoded.bmp");
        ASSERT_EQ(RunCommand("JxrDecApp -i " + Quoted(output) + " -o " + Quoted(bmp) + " >/dev/null 2>&1").status, 0);
        EXPECT_EQ(Values(bmp, {"ImageWidth", "ImageHeight"}), (std::vector<std::string>{"40", "30"}));
    }
    const Picture decoded = ReadPixels(Load(output).get());
    EXPECT_EQ(decoded.width, 40);
    EXPECT_EQ(decoded.height, 30);

    // A JPEG XR photo gives its information on: back to a JPEG.
    const fs::path again = Convert("-f jpg --original-size", output, "camera.jpg");
    ASSERT_TRUE(fs::exists(again));
    ExpectCameraInformation(again, "40", "30", "-");
    EXPECT_EQ(ProfileOf(again), p3_);

    const fs::path stripped = Convert("-f wdp --size 40x30 --strip", source, "camera.wdp");
    EXPECT_EQ(Values(stripped, {"DateTimeOriginal", "Make", "GPSLatitude"}), (std::vector<std::string>{"-", "-", "-"}));
    EXPECT_TRUE(ProfileOf(stripped).empty());
}

// Phone photos: the information of a HEIC (and of AVIF and JPEG XL files) reaches a
// JPEG, with the source's profile.
TEST_F(BatchPhotoInfoTest, HeicAvifAndJxlSourcesKeepDateCameraGpsAndProfileInAJpeg)
{
    const fs::path folder = DataDir() / "generated/photo-info";
    const std::vector<uint8_t> p3 = ReadBytes(folder / "display-p3.icc");
    ASSERT_FALSE(p3.empty());
    for (const char* name : {"camera.heic", "camera.avif", "camera.jxl"}) {
        const fs::path output = Convert("-f jpg --size 40x30", folder / name, "camera.jpg");
        ASSERT_TRUE(fs::exists(output)) << name;
        ExpectCameraInformation(output, "40", "30");
        EXPECT_EQ(Values(output, {"Creator"})[0], "Ada Author") << name;
        const std::vector<uint8_t> profile = ProfileOf(output);
        if (std::string(name) == "camera.jxl") {
            // libjxl gives the profile of its decoded pixels: its own Display P3.
            const fs::path icc = Path("jxl.icc");
            WriteBytes(icc, profile);
            const CommandResult red = RunCommand("exiftool -T -n -RedMatrixColumn " + Quoted(icc) + " 2>/dev/null");
            EXPECT_TRUE(SameColumn(red.output.substr(0, red.output.find('\n')), P3RedColumn())) << name;
        } else {
            EXPECT_EQ(profile, p3) << name;
        }
        fs::remove_all(output.parent_path());
    }
}

// Kept information keeps the profile, so the pixels stay in its space; stripped
// information takes the profile too, so the pixels become sRGB.
TEST_F(BatchPhotoInfoTest, StripLeavesNothingAndConvertsThePixelsToSrgb)
{
    const fs::path source = CameraJpeg();
    const Picture decoded = ReadPixels(Load(source).get());
    ASSERT_GT(decoded.width, 0);

    const fs::path kept = Convert("-f png --original-size", source, "camera.png");
    EXPECT_LE(MaxDifference(ReadPixels(Load(kept).get()), decoded), 1);
    fs::remove_all(kept.parent_path());

    const fs::path stripped = Convert("-f png --original-size --strip", source, "camera.png");
    ASSERT_TRUE(fs::exists(stripped));
    EXPECT_EQ(Values(stripped, {"DateTimeOriginal", "Make", "GPSLatitude"}),
              (std::vector<std::string>{"-", "-", "-"}));
    EXPECT_TRUE(ProfileOf(stripped).empty());
    const Picture srgb = ReadPixels(Load(stripped).get());
    EXPECT_LE(MaxDifference(srgb, ToSrgb(decoded, p3_)), 1);
    EXPECT_GT(MaxDifference(srgb, decoded), 4) << "the pixels were not converted";
}

TEST_F(BatchPhotoInfoTest, RemoveLocationDropsOnlyTheGpsPosition)
{
    const fs::path source = CameraJpeg();
    const fs::path output = Convert("-f jpg --width 32 --remove-location", source, "camera.jpg");
    ASSERT_TRUE(fs::exists(output));
    EXPECT_EQ(Values(output, {"DateTimeOriginal", "Make", "GPSLatitude", "GPSLongitude"}),
              (std::vector<std::string>{"2024:05:17 10:11:12", "TallowinCam", "-", "-"}));
    EXPECT_EQ(ProfileOf(output), p3_);
}

// An indexed BMP holds no profile: its flat colour is the photo's colour in sRGB.
TEST_F(BatchPhotoInfoTest, DisplayP3PhotoAsEightBitBmpMatchesItsSrgbConversion)
{
    Picture flat(24, 16);
    for (int32_t y = 0; y < flat.height; ++y) {
        for (int32_t x = 0; x < flat.width; ++x) flat.Set(x, y, 40, 160, 210);
    }
    ImagePtr bitmap = MakeBitmap(flat);
    const fs::path source = Path("src/flat.png");
    ASSERT_EQ(Save(bitmap.get(), source, u"image/png"), Ok);
    ASSERT_EQ(RunCommand("exiftool -q -overwrite_original '-ICC_Profile<=" + Path("p3.icc").string() + "' " +
                         Quoted(source))
                  .status,
              0);

    const fs::path output = Convert("-f bmp --bits 8 --original-size", source, "flat.bmp");
    ASSERT_TRUE(fs::exists(output));
    const std::string bytes = ReadFile(output);
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[28]), 8);
    const Picture written = ReadPixels(Load(output).get());
    const Picture expected = ToSrgb(flat, p3_);
    EXPECT_LE(MaxDifference(written, expected), 1);
    EXPECT_GT(MaxDifference(expected, flat), 4) << "the test colour is the same in both spaces";
}

// Information that cannot be read costs a warning line; the photo is still converted.
TEST_F(BatchPhotoInfoTest, DamagedInformationCostsAWarningNotThePhoto)
{
    const std::string jpeg = ReadFile(DataDir() / "libjpeg-turbo/testorig.jpg");
    ASSERT_GT(jpeg.size(), 2u);
    // An EXIF block whose first directory lies far beyond its end.
    const std::string payload = std::string("Exif\0\0MM\0\x2a\xff\xff\xff\xf0", 14) + std::string(20, '\0');
    const size_t length = payload.size() + 2;
    const std::string segment = std::string("\xff\xe1") + char(length >> 8) + char(length & 0xFF) + payload;
    const fs::path source = WriteFile("src/damaged.jpg", jpeg.substr(0, 2) + segment + jpeg.substr(2));

    const fs::path output = Convert("-f jpg --width 50", source, "damaged.jpg");
    EXPECT_TRUE(fs::exists(output));
    EXPECT_NE(ReadFile(Path("stderr.txt")).find("Photo information not kept"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(output.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(BatchPhotoInfoTest, KeepAndStripTogetherAreBadUsageAndHelpNamesTheChoices)
{
    const std::string tool = Quoted(BinDir() / "tallowin-batch");
    EXPECT_EQ(RunCommand(tool + " --keep-metadata --strip " + Quoted(Path("src")) + " >/dev/null 2>&1").status, 2);
    const std::string help = RunCommand(tool + " --help 2>&1").output;
    for (const char* option : {"--keep-metadata", "--strip", "--remove-location"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace tallowin::test
