// No decoder runs in the window's process: adding photos of every format (header
// reads, the WDP library's decode included), their preview and their conversion all
// decode in helper processes, and a photo's colour profile is applied there too. The test program counts its own calls into the decoder
// libraries (library_decode_calls.cpp), which must stay at none.

#include "convert/photo_converter.h"
#include "convert/window_conversion_host.h"
#include "container_metadata.h"
#include "convert_world.h"
#include "decoder.h"
#include "library_decode_calls.h"
#include "preview_frame.h"
#include "srgb_decode.h"
#include "temp_files.h"
#include "wdp_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

class WindowDecodesTest : public ConvertWorld {};

// The counter sees a decode made in this process, so that its staying at none below
// means something.
TEST_F(WindowDecodesTest, TheCountSeesDecodesInThisProcess)
{
    for (const char* file :
         {"libjpeg-turbo/testorig.jpg", "pngsuite/basn2c08.png", "pngsuite/basn0g08.png", "libwmf/ant.wmf",
          "generated/wdp/rgb24_q90.wdp"}) {
        SCOPED_TRACE(file);
        const std::string path = (DataDir() / file).string();
        const codec::Decoder* format = nullptr;
        ASSERT_EQ(codec::SniffFile(path, format), codec::DecodeStatus::Ok);
        const int before = LibraryDecodeCalls();
        codec::Raster raster;
        std::string warning;
        EXPECT_EQ(codec::DecodePixels(*format, path, {}, {}, raster, warning), codec::DecodeStatus::Ok);
        EXPECT_GT(LibraryDecodeCalls(), before);
    }
    // A photo with a colour profile converted to sRGB in this process.
    const std::string p3 = (DataDir() / "generated" / "photo-info" / "camera.jpg").string();
    codec::Raster raster;
    std::string warning;
    ASSERT_EQ(codec::DecodePixels(*codec::FindDecoder("jpeg"), p3, {}, {}, raster, warning), codec::DecodeStatus::Ok);
    const int before = LibraryDecodeCalls();
    using metadata::detail::KindOfFile;
    EXPECT_EQ(codec::ConvertDecodeToSrgb(metadata::detail::ReadSourceProfileHere(KindOfFile(p3), p3), raster), "");
    EXPECT_GT(LibraryDecodeCalls(), before);
}

TEST_F(WindowDecodesTest, AddingPreviewingAndConvertingDecodeNothingInThisProcess)
{
    ASSERT_TRUE(model->Wdp().IsLoaded());
    const std::vector<std::string> files = {
        "libjpeg-turbo/testorig.jpg",    "pngsuite/basn6a08.png",        "libtiff/minisblack-1c-8b.tiff",
        "generated/gif/transparent.gif", "bmpsuite/g/rgb24.bmp",         "libwmf/ant.wmf",
        "libemf2svg/test-007.emf",       "generated/formats/photo.webp", "generated/formats/photo.heic",
        "generated/formats/photo.avif",  "generated/formats/photo.jxl",  "generated/formats/raw-preview.dng",
        "generated/wdp/rgb24_q90.wdp",   "jxrlib-glencoe/blue.jxr",
    };
    const int before = LibraryDecodeCalls();
    int converted = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const fs::path source = Source(file);
        const fs::path output = out / (source.filename().string() + ".png");
        const PhotoRecord photo = Added(source, SmallPng(), output);
        ASSERT_GT(photo.width, 0);
        {
            const WdpSourceFile preview(&model->Wdp(), photo);
            EXPECT_FALSE(ui::LoadPreviewImage(preview.Path(), QSize(120, 90)).isNull());
        }
        WindowConversionHost host(*model);
        PhotoConverter converter(host, desktop::PrivateTempFolder());
        EXPECT_EQ(converter.ConvertPhoto(photo).kind, OutcomeKind::Converted);
        converted += fs::exists(output) ? 1 : 0;
    }
    EXPECT_EQ(converted, static_cast<int>(files.size()));
    // A bitmap holds no profile: the photo's pixels are converted to sRGB, in the helper.
    {
        OutputSettings bmp = SmallPng();
        bmp.nOuptputFormat = FormatBmp;
        const fs::path output = out / "camera.bmp";
        const PhotoRecord photo = Added(Source("generated/photo-info/camera.jpg"), bmp, output);
        WindowConversionHost host(*model);
        PhotoConverter converter(host, desktop::PrivateTempFolder());
        EXPECT_EQ(converter.ConvertPhoto(photo).kind, OutcomeKind::Converted);
        EXPECT_TRUE(fs::exists(output));
    }
    EXPECT_EQ(LibraryDecodeCalls(), before);
    EXPECT_TRUE(port.Messages().empty());
}

}  // namespace
}  // namespace tallowin::test
