// The conversion of one photo through the scripted port: every output format read
// back by an independent decoder, the messages of the failure table, the stamp
// checks, the turn table and the files left on disk.

#include "convert/photo_converter.h"
#include "convert/window_conversion_host.h"
#include "convert_world.h"
#include "dib_image.h"
#include "temp_files.h"

#include <gtest/gtest.h>

#include <set>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

OutputSettings Settings(int32_t format, int32_t width = 64, int32_t height = 48, int32_t keep = 1) {
    OutputSettings s;
    s.nOuptputFormat = format;
    s.nOuputSizeType = SizeCustom;
    s.nOutputWidth = width;
    s.nOutputHeight = height;
    s.nKeepAspectRatio = keep;
    return s;
}

class PhotoConverterTest : public ConvertWorld {
protected:
    // True when the output file was written.
    bool Convert(const PhotoRecord& photo) {
        WindowConversionHost host(*model);
        PhotoConverter converter(host, desktop::PrivateTempFolder());
        outcome = converter.ConvertPhoto(photo);
        return outcome.Written();
    }
    ConversionOutcome outcome;
};

TEST_F(PhotoConverterTest, EveryOutputFormatReadsBackAtItsSize) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");  // 227 x 149
    struct Case {
        int32_t format;
        int32_t pixelFormat;
        const char* name;
        const char* expected;  // identify: format width height depth
    };
    const Case cases[] = {
        {FormatBmp, 4, "a.bmp", "BMP3 64 42 8"},   // 24 bits: depth 8 per channel
        {FormatBmp, 5, "b.bmp", "BMP3 64 42 8"},   // "32 bits ARGB" still writes 24 bits
        {FormatJpg, 4, "c.jpg", "JPEG 64 42 8"},
        {FormatPng, 4, "d.png", "PNG 64 42 8"},
        {FormatTif, 4, "e.tif", "TIFF 64 42 8"},
        {FormatGif, 4, "f.gif", "GIF 64 42 8"},
    };
    for (const Case& c : cases) {
        OutputSettings s = Settings(c.format);
        s.iComboPixelFormat = c.pixelFormat;
        const PhotoRecord photo = Added(jpeg, s, out / c.name);
        EXPECT_TRUE(Convert(photo)) << c.name;
        EXPECT_EQ(outcome.kind, OutcomeKind::Converted) << c.name;
        EXPECT_EQ(outcome.reason, "") << c.name;
        EXPECT_EQ(Identify(out / c.name), c.expected) << c.name;
    }
    // The 24-bit BMP files really are 24 bits per pixel (header byte 28).
    EXPECT_EQ(static_cast<uint8_t>(ReadFile(out / "b.bmp").at(28)), 24);
    EXPECT_TRUE(port.Messages().empty());
    EXPECT_EQ(FilesIn(out).size(), std::size(cases));  // nothing staged is left behind
}

TEST_F(PhotoConverterTest, IndexedBmpHasTheRequestedDepthAndRemovesItsTemporaryFile) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    const std::pair<int32_t, int> depths[] = {{0, 1}, {1, 4}, {2, 8}};
    for (const auto& [code, bits] : depths) {
        OutputSettings s = Settings(FormatBmp);
        s.iComboPixelFormat = code;
        const fs::path file = out / ("indexed" + std::to_string(bits) + ".bmp");
        ASSERT_TRUE(Convert(Added(jpeg, s, file)));
        const std::string bytes = ReadFile(file);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(static_cast<uint8_t>(bytes[28]), bits);
        EXPECT_EQ(Identify(file, "%w %h"), "64 42");
        EXPECT_FALSE(fs::exists(desktop::TempFileName("BMP", 22345)));
    }
    EXPECT_TRUE(port.Messages().empty());
}

TEST_F(PhotoConverterTest, EightBitPaletteOfAFewColoursHoldsExactlyThoseColours) {
    const std::vector<uint32_t> colours{0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF};
    const fs::path bmp = Root() / "src" / "few.bmp";
    WriteColourBmp(bmp, 40, 30, colours);
    OutputSettings s = Settings(FormatBmp);
    s.nOuputSizeType = SizeOriginal;
    s.iComboPixelFormat = 2;
    ASSERT_TRUE(Convert(Added(bmp, s, out / "few.bmp")));

    CDibImage image;
    ASSERT_TRUE(image.LoadFile((out / "few.bmp").c_str(), kDibFormatBmp));
    ASSERT_EQ(image.BitCount(), 8);
    std::set<uint32_t> firstEntries;
    for (uint32_t i = 0; i < colours.size(); ++i) {
        const RGBQUAD q = image.PaletteColour(static_cast<uint8_t>(i));
        firstEntries.insert((uint32_t{q.rgbRed} << 16) | (uint32_t{q.rgbGreen} << 8) | q.rgbBlue);
    }
    EXPECT_EQ(firstEntries, std::set<uint32_t>(colours.begin(), colours.end()));
    // Every pixel kept its colour: the palette is exact, so nothing was diffused.
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const RGBQUAD q = image.PixelColour(x, 29 - y);
            const uint32_t rgb = (uint32_t{q.rgbRed} << 16) | (uint32_t{q.rgbGreen} << 8) | q.rgbBlue;
            ASSERT_EQ(rgb, colours[static_cast<size_t>(x + y) % colours.size()]) << x << "," << y;
        }
    }
}

TEST_F(PhotoConverterTest, GifKeepsItsTemporaryBmpForTheNextGif) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    ASSERT_TRUE(Convert(Added(jpeg, Settings(FormatGif), out / "one.gif")));
    const fs::path temp = desktop::TempFileName("BMP", 12346);
    ASSERT_TRUE(fs::exists(temp));
    EXPECT_EQ(Identify(temp, "%m %w %h %k"), Identify(out / "one.gif", "BMP3 %w %h %k"));
    ASSERT_TRUE(Convert(Added(jpeg, Settings(FormatGif, 32), out / "two.gif")));
    EXPECT_EQ(Identify(temp, "%w %h"), "32 21");
}

TEST_F(PhotoConverterTest, WdpOutputDecodesWithTheReferenceDecoder) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    ASSERT_TRUE(model->Wdp().IsLoaded());
    ASSERT_TRUE(Convert(Added(jpeg, Settings(FormatWdp), out / "photo.wdp")));
    const fs::path decoded = Root() / "decoded.bmp";
    ASSERT_EQ(RunCommand("JxrDecApp -i '" + (out / "photo.wdp").string() + "' -o '" + decoded.string() +
                         "' >/dev/null 2>&1"),
              0);
    EXPECT_EQ(Identify(decoded, "%w %h"), "64 42");
    EXPECT_EQ(FilesIn(out), std::vector<std::string>{"photo.wdp"});
}

TEST_F(PhotoConverterTest, WithoutTheWdpLibraryTheOutputIsRefused) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    const PhotoRecord photo = Added(jpeg, Settings(FormatWdp), out / "photo.wdp");
    model->Wdp().Release();
    EXPECT_FALSE(Convert(photo));
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "can not encode the file " + photo.outputPath);
    EXPECT_EQ(port.Messages()[0].caption, "Error");
    EXPECT_TRUE(FilesIn(out).empty());
}

TEST_F(PhotoConverterTest, OverwriteQuestionAnswers) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    const fs::path target = out / "photo.png";
    const PhotoRecord photo = Added(jpeg, Settings(FormatPng), target);
    WriteFile("out/photo.png", "old bytes");

    port.QueueAnswer(MessageAnswer::No);
    EXPECT_FALSE(Convert(photo));
    EXPECT_EQ(outcome.kind, OutcomeKind::Skipped);
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, target.string() + " exists. Do you want to replace it?");
    EXPECT_EQ(port.Messages()[0].caption, "Warning");
    EXPECT_EQ(port.Messages()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(ReadFile(target), "old bytes");

    port.QueueAnswer(MessageAnswer::Yes);
    EXPECT_TRUE(Convert(photo));
    EXPECT_EQ(Identify(target), "PNG 64 42 8");
}

TEST_F(PhotoConverterTest, AFailedConversionAfterYesKeepsTheOldFile) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    for (const int32_t pixelFormat : {4, 2}) {  // the codec's BMP writer and the raster core's
        OutputSettings s = Settings(FormatBmp);
        s.iComboPixelFormat = pixelFormat;
        const PhotoRecord photo = Added(jpeg, s, out / "photo.bmp");
        WriteFile("out/photo.bmp", "old bytes");
        fs::remove(jpeg);
        port.QueueAnswer(MessageAnswer::Yes);
        EXPECT_FALSE(Convert(photo));
        EXPECT_EQ(port.MessageTexts().back(), "Failed to convert photo!");
        EXPECT_EQ(ReadFile(out / "photo.bmp"), "old bytes");
        fs::copy_file(DataDir() / "libjpeg-turbo/testorig.jpg", jpeg);
    }
}

TEST_F(PhotoConverterTest, InvalidSizesAndADeletedSourceWriteNothing) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    PhotoRecord photo = Added(jpeg, Settings(FormatPng), out / "photo.png");
    photo.settings.nOutputWidth = 0;
    EXPECT_FALSE(Convert(photo));
    photo.settings.nOutputWidth = 64;
    photo.settings.nOutputHeight = 0;
    EXPECT_FALSE(Convert(photo));
    photo.settings.nOutputHeight = 42;
    fs::remove(jpeg);
    EXPECT_FALSE(Convert(photo));

    EXPECT_EQ(outcome.kind, OutcomeKind::Failed);
    EXPECT_EQ(outcome.reason.rfind("Failed to convert photo! (", 0), 0u) << outcome.reason;

    const auto messages = port.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].text, "The output width is invalid!");
    EXPECT_EQ(messages[1].text, "The output hight is invalid!");
    EXPECT_EQ(messages[2].text, "Failed to convert photo!");
    for (const auto& m : messages) {
        EXPECT_EQ(m.caption, "Error");
    }
    EXPECT_TRUE(FilesIn(out).empty());
}

TEST_F(PhotoConverterTest, StampPositionsOutOfRangeAreResetAndLogged) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    const PhotoRecord photo = Added(jpeg, Settings(FormatPng), out / "photo.png");  // 64 x 42

    // An empty stamp text leaves the boxes unread, however wrong they are.
    port.Type(IDC_STAMP_X, "999");
    port.Type(IDC_STAMP_Y, "-4");
    ASSERT_TRUE(Convert(photo));
    EXPECT_EQ(port.ControlText(IDC_STAMP_X), "999");
    EXPECT_TRUE(port.LogLines().empty());

    port.Type(IDC_STAMP_TEXT, "Tallowin");
    port.Type(IDC_STAMP_X, "64");   // equal to the width: out of range
    port.Type(IDC_STAMP_Y, "41");   // the last row: in range
    port.QueueAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(Convert(photo));
    EXPECT_EQ(port.ControlText(IDC_STAMP_X), "0");
    EXPECT_EQ(port.ControlText(IDC_STAMP_Y), "41");
    ASSERT_EQ(port.LogLines().size(), 1u);
    const std::string expected =
        jpeg.string() + " The text position X is out of range! The program set it to 0 now.";
    EXPECT_EQ(port.LogLines()[0].substr(port.LogLines()[0].size() - expected.size()), expected);

    port.Type(IDC_STAMP_Y, "-1");
    port.QueueAnswer(MessageAnswer::Yes);
    ASSERT_TRUE(Convert(photo));
    EXPECT_EQ(port.ControlText(IDC_STAMP_Y), "0");
    EXPECT_NE(port.LogLines().back().find("The text position Y is out of range!"), std::string::npos);
}

TEST_F(PhotoConverterTest, TheStampIsDrawnInTheStampColour) {
    const std::vector<uint32_t> white{0xFFFFFF};
    const fs::path bmp = Root() / "src" / "white.bmp";
    WriteColourBmp(bmp, 200, 60, white);
    OutputSettings s = Settings(FormatBmp);
    s.nOuputSizeType = SizeOriginal;
    port.Type(IDC_STAMP_TEXT, "MMMM");
    port.Type(IDC_STAMP_X, "10");
    port.Type(IDC_STAMP_Y, "10");
    LOGFONTA font = model->Stamp().Font();
    font.lfHeight = -30;
    model->Stamp().SetFont(font);
    model->Stamp().SetColour(0x000000FF);  // red in the low byte
    ASSERT_TRUE(Convert(Added(bmp, s, out / "stamped.bmp")));

    CDibImage image;
    ASSERT_TRUE(image.LoadFile((out / "stamped.bmp").c_str(), kDibFormatBmp));
    int red = 0;
    int other = 0;
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const RGBQUAD q = image.PixelColour(x, y);
            if (q.rgbRed == 255 && q.rgbGreen == 0 && q.rgbBlue == 0) ++red;
            const bool reddish = q.rgbRed >= q.rgbGreen && q.rgbGreen == q.rgbBlue;
            if (!reddish) ++other;
            // Nothing is drawn left of or above the layout origin.
            if (x < 10 || image.Height() - 1 - y < 10) {
                ASSERT_EQ(q.rgbGreen, 255) << x << "," << y;
            }
        }
    }
    EXPECT_GT(red, 50);
    EXPECT_EQ(other, 0);
}

TEST_F(PhotoConverterTest, TurnTableGivesTheRightShapes) {
    // Four colours in a 2 x 2 pattern scaled up, so every turn is visible.
    const fs::path bmp = Root() / "src" / "quads.bmp";
    WriteColourBmp(bmp, 30, 20, {0x102030});
    OutputSettings s = Settings(FormatBmp, 30, 20, 0);

    s.nRotateAngel = 90;
    s.nFlipType = 1;
    ASSERT_TRUE(Convert(Added(bmp, s, out / "r90f1.bmp")));
    EXPECT_EQ(Identify(out / "r90f1.bmp", "%w %h"), "20 30");

    // 180 with a vertical flip is the same file as a horizontal flip alone, stamp included.
    port.Type(IDC_STAMP_TEXT, "Ab");
    port.Type(IDC_STAMP_X, "2");
    port.Type(IDC_STAMP_Y, "1");
    s.nRotateAngel = 180;
    s.nFlipType = 2;
    ASSERT_TRUE(Convert(Added(bmp, s, out / "r180f2.bmp")));
    s.nRotateAngel = 0;
    s.nFlipType = 1;
    ASSERT_TRUE(Convert(Added(bmp, s, out / "r0f1.bmp")));
    EXPECT_EQ(ReadFile(out / "r180f2.bmp"), ReadFile(out / "r0f1.bmp"));

    s.nRotateAngel = 45;
    ASSERT_TRUE(Convert(Added(bmp, s, out / "r45.bmp")));
    EXPECT_EQ(port.MessageTexts(), std::vector<std::string>{"Unknown rotate angle!"});
    EXPECT_EQ(outcome.kind, OutcomeKind::Converted);  // a warning fails nothing
    EXPECT_EQ(Identify(out / "r45.bmp", "%w %h"), "30 20");
}

TEST_F(PhotoConverterTest, UnknownFormatCodeWritesNothingAndIsSkipped) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    PhotoRecord photo = Added(jpeg, Settings(FormatPng), out / "photo.");
    photo.settings.nOuptputFormat = 9;  // one past JPEG XL
    EXPECT_FALSE(Convert(photo));
    EXPECT_EQ(outcome.kind, OutcomeKind::Skipped);
    EXPECT_TRUE(port.Messages().empty());
    EXPECT_TRUE(FilesIn(out).empty());
}

TEST_F(PhotoConverterTest, ATruncatedPhotoIsConvertedAndLoggedAsDamaged) {
    const fs::path jpeg = Source("generated/jpeg/bad/trunc_50pct_baseline.jpg");
    ASSERT_TRUE(Convert(Added(jpeg, Settings(FormatPng), out / "cut.png")));
    EXPECT_EQ(outcome.kind, OutcomeKind::ConvertedInPart);
    EXPECT_FALSE(outcome.reason.empty());
    EXPECT_EQ(Identify(out / "cut.png"), "PNG 64 42 8");
    ASSERT_EQ(port.LogLines().size(), 1u);
    EXPECT_NE(port.LogLines()[0].find(jpeg.string() + " Converted in part: "), std::string::npos);
}

// A picture's header with data the decoder cannot use: the box keeps its fixed text,
// the log and the outcome say why.
TEST_F(PhotoConverterTest, PixelsThatCannotBeDecodedAreReportedAsDamaged) {
    const fs::path png = Source("pngsuite/basn2c08.png", "broken.png");
    const PhotoRecord photo = Added(png, Settings(FormatPng), out / "broken.png");
    std::string bytes = ReadFile(png);
    const size_t data = bytes.find("IDAT");
    ASSERT_NE(data, std::string::npos);
    for (size_t i = data + 10; i < data + 60; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    WriteFile("src/broken.png", bytes);

    EXPECT_FALSE(Convert(photo));
    EXPECT_EQ(outcome.kind, OutcomeKind::Failed);
    EXPECT_EQ(outcome.reason, "Failed to convert photo! (damaged)");
    EXPECT_EQ(port.MessageTexts(), std::vector<std::string>{"Failed to convert photo!"});
    ASSERT_EQ(port.LogLines().size(), 1u);
    EXPECT_TRUE(port.LogLines()[0].ends_with(png.string() + " damaged")) << port.LogLines()[0];
    EXPECT_TRUE(FilesIn(out).empty());
}

TEST_F(PhotoConverterTest, AnUnwritableFolderReportsEachFormatAndLeavesNoFile) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    // A file where the run folder should be: no user, root included, can write there.
    WriteFile("blocked", "");
    const fs::path folder = Root() / "blocked";
    const int32_t formats[] = {FormatBmp, FormatJpg, FormatPng, FormatTif, FormatGif, FormatWdp};
    for (const int32_t format : formats) {
        port.ClearMessages();
        const fs::path target = folder / ("photo." + std::string(FormatExtension(format)));
        EXPECT_FALSE(Convert(Added(jpeg, Settings(format), target))) << format;
        EXPECT_FALSE(port.Messages().empty()) << format;
        EXPECT_EQ(outcome.kind, OutcomeKind::Failed) << format;
        EXPECT_FALSE(outcome.reason.empty()) << format;
        if (format == FormatWdp) {
            // The encoder wrote to a hidden name beside the output; the message names the output.
            const std::string text = port.Messages().back().text;
            const std::string ending = " to " + target.string();
            ASSERT_GE(text.size(), ending.size()) << text;
            EXPECT_EQ(text.substr(text.size() - ending.size()), ending) << text;
        }
    }
    OutputSettings indexed = Settings(FormatBmp);
    indexed.iComboPixelFormat = 0;
    EXPECT_FALSE(Convert(Added(jpeg, indexed, folder / "indexed.bmp")));
    EXPECT_EQ(ReadFile(folder), "");
}

}  // namespace
}  // namespace tallowin::test
