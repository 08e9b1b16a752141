// Saving through the service's encoders: round trips through the real decoders, the
// file-format facts other code relies on, and saves that fail without leaving a file.
#include "codec_test_support.h"
#include "decoder.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;
using namespace tallowin::test;

namespace {

class CodecSave : public TestWorld {};

uint32_t U32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

uint16_t U16(const std::string& bytes, size_t at)
{
    uint16_t value = 0;
    std::memcpy(&value, bytes.data() + at, 2);
    return value;
}

// Sampling factors of the three components in a baseline JPEG's SOF0 segment.
std::string SamplingFactors(const std::string& jpeg)
{
    for (size_t i = 2; i + 4 < jpeg.size();) {
        if (static_cast<uint8_t>(jpeg[i]) != 0xFF) {
            return {};
        }
        const auto marker = static_cast<uint8_t>(jpeg[i + 1]);
        const size_t length = (static_cast<uint8_t>(jpeg[i + 2]) << 8) | static_cast<uint8_t>(jpeg[i + 3]);
        if (marker == 0xC0 && i + 4 + 15 <= jpeg.size()) {
            std::string factors;
            for (int c = 0; c < 3; ++c) {
                const auto f = static_cast<uint8_t>(jpeg[i + 4 + 6 + c * 3 + 1]);
                factors += std::to_string(f >> 4) + "x" + std::to_string(f & 15) + " ";
            }
            return factors;
        }
        i += 2 + length;
    }
    return {};
}

std::vector<std::string> FilesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

}  // namespace

TEST_F(CodecSave, LosslessFormatsRoundTripBitExact)
{
    // An odd width exercises row padding in every writer.
    Picture picture = Pattern(37, 23);
    ImagePtr bitmap = MakeBitmap(picture);
    for (const auto& [name, mime] : {std::pair<std::string, std::u16string>{"a.bmp", u"image/bmp"},
                                     {"a.png", u"image/png"},
                                     {"a.tif", u"image/tiff"}}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(Save(bitmap.get(), Path(name), mime), Ok);
        ImagePtr loaded = Load(Path(name));
        ASSERT_TRUE(loaded);
        EXPECT_TRUE(SamePixels(ReadPixels(loaded.get()), picture));
    }
}

TEST_F(CodecSave, PngOfAPhotoAndOfAPictureWithAlphaRoundTripsThroughLibpngBitExact)
{
    const Picture photo = ReadPixels(Load(DataDir() / "libjpeg-turbo/testorig.jpg").get());
    ASSERT_GT(photo.width, 0);
    Picture copy = photo;
    ASSERT_EQ(Save(MakeBitmap(copy).get(), Path("photo.png"), u"image/png"), Ok);
    EXPECT_TRUE(SamePixels(ReadPixels(Load(Path("photo.png")).get()), photo));

    // Straight alpha at every level, with runs of one colour between noisy stretches.
    const int32_t width = 61;
    const int32_t height = 37;
    std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4);
    std::mt19937 random(4);
    for (size_t i = 0; i < bgra.size(); ++i) {
        bgra[i] = (i / 4) % 9 < 3 ? static_cast<uint8_t>(i / 4 % 3 * 100) : static_cast<uint8_t>(random() & 0xFF);
    }
    GpBitmap* raw = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB, bgra.data(), &raw), Ok);
    ImagePtr bitmap(raw);
    ASSERT_EQ(Save(bitmap.get(), Path("alpha.png"), u"image/png"), Ok);
    namespace codec = tallowin::codec;
    codec::Raster decoded;
    std::string warning;
    ASSERT_EQ(codec::DecodePixels(*codec::FindDecoder("png"), Path("alpha.png").string(), codec::DecodeRequest{},
                                  codec::DecodeLimits{}, decoded,
                                  warning),
              codec::DecodeStatus::Ok);
    EXPECT_EQ(decoded.width, width);
    EXPECT_EQ(decoded.height, height);
    EXPECT_TRUE(std::equal(decoded.pixels.begin(), decoded.pixels.end(), bgra.begin(), bgra.end()));
}

TEST_F(CodecSave, BmpIsTwentyFourBitBottomUpWithResolutionInPelsPerMetre)
{
    Picture picture(2, 2);
    picture.Set(0, 0, 1, 2, 3);     // top-left
    picture.Set(1, 1, 9, 8, 7);     // bottom-right
    ImagePtr bitmap = MakeBitmap(picture);
    ASSERT_EQ(GdipBitmapSetResolution(static_cast<GpBitmap*>(bitmap.get()), 300.0f, 72.0f), Ok);
    ASSERT_EQ(Save(bitmap.get(), Path("b.bmp"), u"image/bmp"), Ok);
    const std::string bytes = ReadFile(Path("b.bmp"));
    ASSERT_EQ(bytes.size(), 70u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(U32(bytes, 2), 70u);     // bfSize
    EXPECT_EQ(U32(bytes, 10), 54u);    // bfOffBits
    EXPECT_EQ(U16(bytes, 28), 24u);    // biBitCount
    EXPECT_EQ(U32(bytes, 38), 11811u); // 300 dpi
    EXPECT_EQ(U32(bytes, 42), 2835u);  // 72 dpi
    // The first stored row is the bottom one.
    EXPECT_EQ(bytes.substr(54 + 3, 3), std::string("\x09\x08\x07", 3));
    EXPECT_EQ(bytes.substr(62, 3), std::string("\x01\x02\x03", 3));
}

TEST_F(CodecSave, JpegAtQuality80KeepsARealPhotoAndWritesJfifDensityAndHalfChroma)
{
    ImagePtr photo = Load(DataDir() / "libjpeg-turbo/testorig.jpg");
    ASSERT_TRUE(photo);
    const Picture original = ReadPixels(photo.get());
    ASSERT_GT(original.width, 0);
    ASSERT_EQ(GdipBitmapSetResolution(static_cast<GpBitmap*>(photo.get()), 200.0f, 200.0f), Ok);
    ASSERT_EQ(Save(photo.get(), Path("q80.jpg"), u"image/jpeg", 80), Ok);
    ImagePtr again = Load(Path("q80.jpg"));
    ASSERT_TRUE(again);
    EXPECT_GE(Psnr(ReadPixels(again.get()), original), 35.0);

    const std::string bytes = ReadFile(Path("q80.jpg"));
    ASSERT_GT(bytes.size(), 20u);
    EXPECT_EQ(bytes.substr(6, 5), std::string("JFIF\0", 5));
    EXPECT_EQ(bytes[13], 1);  // dots per inch
    EXPECT_EQ((uint8_t(bytes[14]) << 8) | uint8_t(bytes[15]), 200);
    EXPECT_EQ(SamplingFactors(bytes), "2x2 1x1 1x1 ");

    // A lower quality gives a smaller file: the parameter reaches the encoder.
    ASSERT_EQ(Save(photo.get(), Path("q20.jpg"), u"image/jpeg", 20), Ok);
    EXPECT_LT(fs::file_size(Path("q20.jpg")), fs::file_size(Path("q80.jpg")));
}

TEST_F(CodecSave, PngAndTiffCarryTheResolution)
{
    Picture picture = Pattern(8, 8);
    ImagePtr bitmap = MakeBitmap(picture);
    ASSERT_EQ(GdipBitmapSetResolution(static_cast<GpBitmap*>(bitmap.get()), 150.0f, 150.0f), Ok);
    ASSERT_EQ(Save(bitmap.get(), Path("r.png"), u"image/png"), Ok);
    ASSERT_EQ(Save(bitmap.get(), Path("r.tif"), u"image/tiff"), Ok);
    for (const char* name : {"r.png", "r.tif"}) {
        ImagePtr loaded = Load(Path(name));
        ASSERT_TRUE(loaded);
        REAL dpi = 0;
        ASSERT_EQ(GdipGetImageHorizontalResolution(loaded.get(), &dpi), Ok);
        EXPECT_NEAR(dpi, 150.0f, 0.1f) << name;
    }
}

TEST_F(CodecSave, GifKeepsTheColoursOfAnIndexedPicture)
{
    // 200 distinct colours: the GIF must hold every one of them exactly.
    Picture picture(20, 10);
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 20; ++x) {
            const int n = y * 20 + x;
            picture.Set(x, y, static_cast<uint8_t>(n), static_cast<uint8_t>(255 - n), static_cast<uint8_t>(n * 7));
        }
    }
    ImagePtr bitmap = MakeBitmap(picture);
    ASSERT_EQ(Save(bitmap.get(), Path("c.gif"), u"image/gif"), Ok);
    ImagePtr loaded = Load(Path("c.gif"));
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(SamePixels(ReadPixels(loaded.get()), picture));
}

TEST_F(CodecSave, GifOfATrueColourPictureIsReducedNotRefused)
{
    Picture picture = Pattern(64, 64);
    ImagePtr bitmap = MakeBitmap(picture);
    ASSERT_EQ(Save(bitmap.get(), Path("t.gif"), u"image/gif"), Ok);
    ImagePtr loaded = Load(Path("t.gif"));
    ASSERT_TRUE(loaded);
    EXPECT_GE(Psnr(ReadPixels(loaded.get()), picture), 25.0);
}

TEST_F(CodecSave, EncoderListHasTheFiveMimeTypesWithDistinctClassIds)
{
    UINT count = 0;
    UINT size = 0;
    ASSERT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
    std::vector<uint8_t> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    ASSERT_EQ(GdipGetImageEncoders(count, size, codecs), Ok);
    std::vector<std::u16string> mimes;
    for (UINT i = 0; i < count; ++i) {
        mimes.emplace_back(codecs[i].MimeType);
        for (UINT j = 0; j < i; ++j) {
            EXPECT_FALSE(codecs[i].Clsid == codecs[j].Clsid);
        }
    }
    for (const std::u16string mime : {u"image/bmp", u"image/jpeg", u"image/png", u"image/tiff", u"image/gif"}) {
        EXPECT_NE(std::find(mimes.begin(), mimes.end(), mime), mimes.end());
    }
    EXPECT_EQ(GdipGetImageEncoders(count, size - 1, codecs), InvalidParameter);
}

TEST_F(CodecSave, BadQualityParameterIsRefusedAndWritesNothing)
{
    Picture picture = Pattern(4, 4);
    ImagePtr bitmap = MakeBitmap(picture);
    const CLSID jpeg = EncoderFor(u"image/jpeg");
    short wrongType = 80;
    EncoderParameters parameters{};
    parameters.Count = 1;
    parameters.Parameter[0] = EncoderParameter{EncoderQuality, 1, EncoderParameterValueTypeShort, &wrongType};
    EXPECT_EQ(GdipSaveImageToFile(bitmap.get(), Wide(Path("q.jpg")).c_str(), &jpeg, &parameters), InvalidParameter);
    const CLSID unknown{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(GdipSaveImageToFile(bitmap.get(), Wide(Path("q.jpg")).c_str(), &unknown, nullptr), InvalidParameter);
    EXPECT_FALSE(fs::exists(Path("q.jpg")));
}

TEST_F(CodecSave, ReadOnlyFolderFailsWithoutLeavingAFile)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    Picture picture = Pattern(16, 16);
    ImagePtr bitmap = MakeBitmap(picture);
    fs::create_directory(Path("locked"));
    fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_NE(Save(bitmap.get(), Path("locked/out.png"), u"image/png"), Ok);
    EXPECT_TRUE(FilesIn(Path("locked")).empty());
    fs::permissions(Path("locked"), fs::perms::owner_all);
}

TEST_F(CodecSave, AFolderWhereTheFileShouldBeFailsAndLeavesTheFolderAlone)
{
    Picture picture = Pattern(16, 16);
    ImagePtr bitmap = MakeBitmap(picture);
    fs::create_directories(Path("out/taken.png"));
    EXPECT_NE(Save(bitmap.get(), Path("out/taken.png"), u"image/png"), Ok);
    EXPECT_TRUE(fs::is_directory(Path("out/taken.png")));
    EXPECT_EQ(FilesIn(Path("out")).size(), 1u);
}

TEST_F(CodecSave, MissingFolderIsAFileError)
{
    Picture picture = Pattern(4, 4);
    ImagePtr bitmap = MakeBitmap(picture);
    const GpStatus status = Save(bitmap.get(), Path("no/such/folder/out.bmp"), u"image/bmp");
    EXPECT_TRUE(status == FileNotFound || status == Win32Error) << status;
}

// A file-size limit makes every encoder fail half-way: the destination must then still
// hold its old content and no temporary file may remain.
TEST_F(CodecSave, FullDiskKeepsTheOldFileAndLeavesNoPartialFile)
{
    // Noise does not compress, so every format needs far more than the limit.
    Picture picture(300, 200);
    uint32_t state = 12345;
    for (uint8_t& byte : picture.bgr) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    ImagePtr bitmap = MakeBitmap(picture);
    const std::pair<const char*, const char16_t*> cases[] = {
        {"f.bmp", u"image/bmp"}, {"f.jpg", u"image/jpeg"}, {"f.png", u"image/png"},
        {"f.tif", u"image/tiff"}, {"f.gif", u"image/gif"}};
    for (const auto& [name, mime] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(Path("out"));
        fs::create_directory(Path("out"));
        WriteFile(std::string("out/") + name, "old");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{2048, 2048};
            setrlimit(RLIMIT_FSIZE, &limit);
            const GpStatus status = Save(bitmap.get(), Path(std::string("out/") + name), mime);
            _exit(status == Ok ? 0 : 1);
        }
        int result = 0;
        ASSERT_EQ(waitpid(child, &result, 0), child);
        ASSERT_TRUE(WIFEXITED(result));
        EXPECT_EQ(WEXITSTATUS(result), 1) << "the save reported success";
        EXPECT_EQ(ReadFile(Path(std::string("out/") + name)), "old");
        EXPECT_EQ(FilesIn(Path("out")).size(), 1u);
    }
}

TEST_F(CodecSave, AnOpenedFileSavesEvenWhenTheSourceIsGoneAfterItDecoded)
{
    Picture picture = Pattern(10, 10);
    ImagePtr bitmap = MakeBitmap(picture);
    ASSERT_EQ(Save(bitmap.get(), Path("src.png"), u"image/png"), Ok);
    ImagePtr loaded = Load(Path("src.png"));
    ASSERT_TRUE(loaded);
    // Saving decodes it; the copy keeps the pixels, so the source may go afterwards.
    ASSERT_EQ(Save(loaded.get(), Path("copy.bmp"), u"image/bmp"), Ok);
    fs::remove(Path("src.png"));
    ASSERT_EQ(Save(loaded.get(), Path("copy2.bmp"), u"image/bmp"), Ok);
    EXPECT_EQ(ReadFile(Path("copy.bmp")), ReadFile(Path("copy2.bmp")));
}
