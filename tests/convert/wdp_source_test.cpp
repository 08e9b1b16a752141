// A WDP photo keeps no decoded BMP in the temporary folder between uses: adding it
// measures it and removes the BMP, and each conversion or preview decodes it again
// into a file of its own that goes when that use ends.

#include "convert/photo_converter.h"
#include "convert/window_conversion_host.h"
#include "convert_world.h"
#include "temp_files.h"
#include "wdp_source.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

class WdpSourceTest : public ConvertWorld {
protected:
    // Regular files anywhere under the test's temporary folder.
    std::vector<std::string> TemporaryFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(Path("tmp"))) {
            if (entry.is_regular_file()) files.push_back(entry.path().string());
        }
        return files;
    }

};

TEST_F(WdpSourceTest, AddingAndConvertingLeaveNoBitmapBehind) {
    ASSERT_TRUE(model->Wdp().IsLoaded());
    const fs::path first = Source("generated/wdp/rgb24_q90.wdp", "holiday.wdp");
    fs::create_directories(Root() / "src/other");
    const fs::path second = Root() / "src/other/holiday.wdp";
    fs::copy_file(first, second);

    const PhotoRecord a = Added(first, SmallPng(), out / "holiday.png");
    const PhotoRecord b = Added(second, SmallPng(), out / "holiday2.png");
    EXPECT_EQ(a.width, 227);
    EXPECT_EQ(a.wdpPath, first.string());
    EXPECT_EQ(fs::path(a.sourcePath).filename(), "holiday.bmp");  // the WDP file's title
    EXPECT_NE(a.sourcePath, b.sourcePath);
    EXPECT_TRUE(TemporaryFiles().empty());

    {
        // Two uses at once (preview and conversion) each get their own file.
        const WdpSourceFile one(&model->Wdp(), a);
        const WdpSourceFile two(&model->Wdp(), a);
        EXPECT_NE(one.Path(), two.Path());
        EXPECT_EQ(fs::path(one.Path()).filename(), "holiday.bmp");
        EXPECT_GT(fs::file_size(one.Path()), 227u * 149u * 3u);
        EXPECT_TRUE(fs::exists(two.Path()));
    }
    EXPECT_TRUE(TemporaryFiles().empty());

    WindowConversionHost host(*model);
    PhotoConverter converter(host, desktop::PrivateTempFolder());
    ASSERT_EQ(converter.ConvertPhoto(a).kind, OutcomeKind::Converted);
    EXPECT_EQ(Identify(out / "holiday.png", "%m"), "PNG");
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_TRUE(port.Messages().empty());
}

TEST_F(WdpSourceTest, JpegXrUnderOtherNamesConvertsThroughTheCodecService) {
    for (const char* name : {"photo.jxr", "photo.hdp", "PHOTO.WDP"}) {
        SCOPED_TRACE(name);
        const fs::path source = Source("generated/wdp/rgb24_q90.wdp", name);
        const fs::path output = out / (std::string(name) + ".png");
        const PhotoRecord photo = Added(source, SmallPng(), output);
        EXPECT_EQ(photo.sourcePath, source.string());
        EXPECT_EQ(photo.width, 227);
        WindowConversionHost host(*model);
        PhotoConverter converter(host, desktop::PrivateTempFolder());
        EXPECT_EQ(converter.ConvertPhoto(photo).kind, OutcomeKind::Converted);
        EXPECT_EQ(Identify(output, "%m"), "PNG");
    }
    EXPECT_TRUE(port.Messages().empty());
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(WdpSourceTest, OtherPhotosAreReadWhereTheyAre) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    const PhotoRecord photo = Added(jpeg, SmallPng(), out / "a.png");
    EXPECT_TRUE(photo.wdpPath.empty());
    {
        const WdpSourceFile file(&model->Wdp(), photo);
        EXPECT_EQ(file.Path(), jpeg.string());
    }
    EXPECT_TRUE(fs::exists(jpeg));
}

TEST_F(WdpSourceTest, AWdpFileGoneSinceAddingFailsItsConversion) {
    const fs::path wdp = Source("generated/wdp/rgb24_q90.wdp", "gone.wdp");
    const PhotoRecord photo = Added(wdp, SmallPng(), out / "gone.png");
    fs::remove(wdp);
    {
        const WdpSourceFile file(&model->Wdp(), photo);
        EXPECT_FALSE(fs::exists(file.Path()));
    }
    WindowConversionHost host(*model);
    PhotoConverter converter(host, desktop::PrivateTempFolder());
    EXPECT_EQ(converter.ConvertPhoto(photo).kind, OutcomeKind::Failed);
    EXPECT_FALSE(fs::exists(out / "gone.png"));
    EXPECT_TRUE(TemporaryFiles().empty());
}

}  // namespace
}  // namespace tallowin::test
