// The settings store, the font entries, the message strings, the format lookups and the
// output size rules.

#include "engine_world.h"
#include "font_settings.h"
#include "gdiplus.h"
#include "language.h"
#include "output_size.h"
#include "settings_keys.h"

#include <gmock/gmock.h>

#include <cstring>
#include <limits>

namespace tallowin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using SettingsStoreTest = EngineWorld;

TEST_F(SettingsStoreTest, EmptyStoreGivesTheCallersDefaults)
{
    EXPECT_EQ(store->GetProfileInt(keys::kCurrentFont, keys::kCurrentColor, 0), 0);
    EXPECT_EQ(store->GetProfileInt(keys::kSetup, keys::kFirstUpdate, -7), -7);
    EXPECT_EQ(store->GetProfileString(keys::kOption, keys::kLastPhotoFolder, ""), "");
    EXPECT_EQ(model->Settings().renamePrefix, "output.photo");
    const LOGFONTA font = model->Stamp().Font();
    EXPECT_EQ(font.lfHeight, -13);
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_EQ(font.lfFaceName[0], '\0');
    EXPECT_EQ(model->Stamp().Colour(), 0u);
}

TEST_F(SettingsStoreTest, ValuesRoundTripThroughTheIniFileInTheSettingsHome)
{
    store->WriteProfileInt("Option", "nCurrentJpegQuality", 95);
    store->WriteProfileInt("Setup", "t_first_update", std::numeric_limits<int32_t>::min());
    store->WriteProfileInt("CurrentFont", "nCurrentColor", -1);
    store->WriteProfileString("Option", "photo_output_folder", "/home/u/My Pictures, 2024/Ünïcode/");
    store->WriteProfileString("Option", "m_batch_renamer", "");

    SettingsStore again;  // as a second copy of the program reads it
    EXPECT_EQ(again.GetProfileInt("Option", "nCurrentJpegQuality", 0), 95);
    EXPECT_EQ(again.GetProfileInt("Setup", "t_first_update", 0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(again.GetProfileInt("CurrentFont", "nCurrentColor", 0), -1);
    EXPECT_EQ(again.GetProfileString("Option", "photo_output_folder", "x"), "/home/u/My Pictures, 2024/Ünïcode/");
    EXPECT_EQ(again.GetProfileString("Option", "m_batch_renamer", "x"), "");

    EXPECT_EQ(again.FileName(), Path("config/Veltrane/Tallowin.conf").string());
    const std::string ini = ReadFile(Path("config/Veltrane/Tallowin.conf"));
    EXPECT_THAT(ini, HasSubstr("[Option]"));
    EXPECT_THAT(ini, HasSubstr("[Setup]"));
    EXPECT_THAT(ini, HasSubstr("nCurrentJpegQuality=95"));
}

TEST_F(SettingsStoreTest, AnIntegerEntryHoldingNoIntegerReadsAsTheDefault)
{
    WriteFile("config/Veltrane/Tallowin.conf",
              "[Option]\nnCurrentJpegQuality=high\nnWdpQualityControl=4294967296\n");
    SettingsStore fromFile;
    EXPECT_EQ(fromFile.GetProfileInt("Option", "nCurrentJpegQuality", 80), 80);
    EXPECT_EQ(fromFile.GetProfileInt("Option", "nWdpQualityControl", 40), 40);
}

TEST_F(SettingsStoreTest, FontAndColourSurviveARestart)
{
    LOGFONTA font = DefaultStampFont();
    font.lfHeight = -24;
    font.lfWidth = 3;
    font.lfEscapement = 900;
    font.lfOrientation = 450;
    font.lfWeight = 700;
    font.lfItalic = 1;
    font.lfUnderline = 1;
    font.lfStrikeOut = 1;
    font.lfCharSet = 204;
    font.lfOutPrecision = 3;
    font.lfClipPrecision = 2;
    font.lfQuality = 5;  // not stored
    font.lfPitchAndFamily = 34;
    SetFaceName(font, "DejaVu Sans");
    SaveFontSettings(*store, font);
    SaveStampColour(*store, 0x000000FF);

    Restart();
    const LOGFONTA loaded = model->Stamp().Font();
    EXPECT_EQ(loaded.lfHeight, -24);
    EXPECT_EQ(loaded.lfWidth, 3);
    EXPECT_EQ(loaded.lfEscapement, 900);
    EXPECT_EQ(loaded.lfOrientation, 450);
    EXPECT_EQ(loaded.lfWeight, 700);
    EXPECT_EQ(loaded.lfItalic, 1);
    EXPECT_EQ(loaded.lfUnderline, 1);
    EXPECT_EQ(loaded.lfStrikeOut, 1);
    EXPECT_EQ(loaded.lfCharSet, 204);
    EXPECT_EQ(loaded.lfOutPrecision, 3);
    EXPECT_EQ(loaded.lfClipPrecision, 2);
    EXPECT_EQ(loaded.lfQuality, 0);
    EXPECT_EQ(loaded.lfPitchAndFamily, 34);
    EXPECT_STREQ(loaded.lfFaceName, "DejaVu Sans");
    EXPECT_EQ(model->Stamp().Colour(), 0x000000FFu);
}

TEST_F(SettingsStoreTest, StoredFontValuesBeyondTheirFieldsAreCutToFit)
{
    store->WriteProfileInt("CurrentFont", "lfItalic", 257);  // 8-bit field keeps the low byte
    store->WriteProfileString("CurrentFont", "lfFaceName", std::string(40, 'A'));
    LOGFONTA font{};
    LoadFontSettings(*store, font);
    EXPECT_EQ(font.lfItalic, 1);
    EXPECT_EQ(std::string(font.lfFaceName), std::string(31, 'A'));

    // 30 ASCII bytes and a two-byte character would need 32 bytes: the character goes whole.
    store->WriteProfileString("CurrentFont", "lfFaceName", std::string(30, 'B') + "é");
    LoadFontSettings(*store, font);
    EXPECT_EQ(std::string(font.lfFaceName), std::string(30, 'B'));
}

TEST(MessageStrings, TableEntriesAndUnknownIds)
{
    EXPECT_EQ(GetText(101), "&About Pictavo");
    EXPECT_EQ(GetText(112), "The output hight is invalid!");
    EXPECT_EQ(GetText(120), "%s exists. Do you want to replace it?");
    EXPECT_EQ(GetText(128), "The text position X is bigger than the photo width!, The program set it to 0 now.");
    EXPECT_EQ(GetText(142), "24 bits per pixel; 8 bits each are used for the red, green, and blue components.");
    EXPECT_EQ(GetText(147),
              "64 bits per pixel; 16 bits each are used for the alpha, red, green, and blue components. The red, "
              "green, and blue components are premultiplied according to the alpha component.");
    EXPECT_EQ(GetText(150), "");
    EXPECT_EQ(GetText(0), "");
    EXPECT_EQ(GetText(-1), "");
}

TEST(FormatLookups, ExtensionsCodesAndDescriptionsWithTheirFallback)
{
    EXPECT_STREQ(FormatExtension(FormatBmp), "bmp");
    EXPECT_STREQ(FormatExtension(FormatWdp), "wdp");
    EXPECT_STREQ(FormatExtension(FormatWebp), "webp");
    EXPECT_STREQ(FormatExtension(FormatAvif), "avif");
    EXPECT_STREQ(FormatExtension(FormatJxl), "jxl");
    EXPECT_STREQ(FormatExtension(9), "");
    EXPECT_STREQ(FormatExtension(-1), "");
    EXPECT_EQ(PixelFormatCode(0), 0x00030101);
    EXPECT_EQ(PixelFormatCode(3), 0x00021006);
    EXPECT_EQ(PixelFormatCode(9), 0x001C400E);
    EXPECT_EQ(PixelFormatCode(12), 0x00021808);
    EXPECT_EQ(PixelFormatCode(-3), 0x00021808);
    EXPECT_EQ(PixelFormatDescriptionId(0), 138);
    EXPECT_EQ(PixelFormatDescriptionId(12), 142);
    EXPECT_TRUE(IsIndexedPixelFormat(2));
    EXPECT_FALSE(IsIndexedPixelFormat(3));
    EXPECT_EQ(WdpEncoderParamOfQuality(100), 1);
    EXPECT_EQ(WdpEncoderParamOfQuality(1), 100);
}

// ---- Output size rules ----

struct SizeCase {
    int32_t sourceWidth, sourceHeight;
    int32_t sizeType, keep, width, height;
    double stretchH, stretchV;
    int32_t expectedWidth, expectedHeight;
};

class OutputSizeRules : public ::testing::TestWithParam<SizeCase> {};

TEST_P(OutputSizeRules, WorkedValues)
{
    const SizeCase& c = GetParam();
    PhotoRecord photo;
    photo.width = c.sourceWidth;
    photo.height = c.sourceHeight;
    OutputSettings settings;
    settings.nOuputSizeType = c.sizeType;
    settings.nKeepAspectRatio = c.keep;
    settings.nOutputWidth = c.width;
    settings.nOutputHeight = c.height;
    settings.dHorizontalStretch = c.stretchH;
    settings.dVerticalStretch = c.stretchV;
    FakeWindowPort port;
    EXPECT_TRUE(AssignOutputSettings(photo, settings, port));
    EXPECT_EQ(photo.settings.nOutputWidth, c.expectedWidth);
    EXPECT_EQ(photo.settings.nOutputHeight, c.expectedHeight);
    EXPECT_TRUE(port.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutputSizeRules,
    ::testing::Values(SizeCase{1000, 750, SizeCustom, 1, 1024, 768, 1, 1, 1024, 768},
                      SizeCase{3000, 2000, SizeCustom, 1, 1024, 768, 1, 1, 1024, 682},
                      SizeCase{1920, 1080, SizeCustom, 1, 1024, 768, 1, 1, 1024, 576},
                      SizeCase{3000, 4000, SizeCustom, 2, 1024, 768, 1, 1, 576, 768},
                      SizeCase{4000, 3000, SizeCustom, 2, 1024, 768, 1, 1, 1024, 768},
                      SizeCase{1000, 750, SizeCustom, 0, 1024, 768, 1, 1, 1024, 768},
                      SizeCase{333, 500, SizeStretch, 1, 1024, 768, 1.5, 0.5, 499, 250},
                      SizeCase{1, 1, SizeStretch, 1, 1024, 768, 0.5, 0.5, 0, 0},
                      SizeCase{4321, 1234, SizeOriginal, 1, 1024, 768, 1, 1, 4321, 1234},
                      SizeCase{4321, 1234, SizeStretch, 1, 1024, 768, 1.0, 1.0, 4321, 1234},
                      // quotient first: (1 / 3) * 3 is exactly 1.0 in double precision
                      SizeCase{3, 1, SizeCustom, 1, 3, 9, 1, 1, 3, 1},
                      SizeCase{1600, 1200, SizeCustom, 1, 800, 768, 1, 1, 800, 600},
                      SizeCase{1200, 1600, SizeCustom, 1, 800, 768, 1, 1, 800, 1066},
                      // a stretch far beyond 32 bits saturates instead of being undefined
                      SizeCase{1000, 1000, SizeStretch, 1, 1024, 768, 1e12, -1e12, 2147483647,
                               std::numeric_limits<int32_t>::min()}));

TEST(OutputSizeRulesFailures, UnknownSourceSizeChangesNothing)
{
    FakeWindowPort port;
    PhotoRecord photo;
    photo.width = 0;
    photo.height = 600;
    photo.settings.nOutputWidth = 17;
    EXPECT_FALSE(ApplyOutputSize(photo, port));
    EXPECT_EQ(photo.settings.nOutputWidth, 17);

    OutputSettings current;
    current.nOutputWidth = 640;
    EXPECT_FALSE(AssignOutputSettings(photo, current, port));
    EXPECT_EQ(photo.settings, current);  // the copy happens in any case
}

TEST(OutputSizeRulesFailures, UnknownCodesAreNamedAndLeaveTheSize)
{
    FakeWindowPort port;
    PhotoRecord photo;
    photo.width = 200;
    photo.height = 100;
    photo.settings.nKeepAspectRatio = 3;
    EXPECT_TRUE(ApplyOutputSize(photo, port));
    photo.settings.nOuputSizeType = 7;
    EXPECT_TRUE(ApplyOutputSize(photo, port));
    EXPECT_EQ(photo.settings.nOutputWidth, 1024);
    EXPECT_EQ(photo.settings.nOutputHeight, 768);
    ASSERT_EQ(port.Messages().size(), 2u);
    EXPECT_THAT(port.MessageTexts(),
                ElementsAre("unknown error nKeepAspectRatio", "unknown error m_outputPhotoFormat.nOuputSizeType"));
    EXPECT_EQ(port.Messages()[0].caption, "error");
    EXPECT_EQ(port.Messages()[0].buttons, MessageButtons::Ok);
}

}  // namespace
}  // namespace tallowin::test
