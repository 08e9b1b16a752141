// The size types Long edge and Fit in box and the "Shrink only" box: their arithmetic
// at the edges, for portraits and landscapes, with every size type. The window's
// output settings and stamp kept in the settings file from one start to the next, and
// the first start's defaults.

#include "engine_world.h"
#include "output_settings_store.h"
#include "output_size.h"
#include "settings_keys.h"

#include <gmock/gmock.h>

#include <limits>

namespace tallowin::test {
namespace {

using ::testing::HasSubstr;

struct Size {
    int32_t width;
    int32_t height;
    bool operator==(const Size&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Size& size) { return out << size.width << "x" << size.height; }

// The output size of a width x height source under `settings`.
Size OutputOf(int32_t width, int32_t height, const OutputSettings& settings)
{
    FakeWindowPort port;
    PhotoRecord photo;
    photo.width = width;
    photo.height = height;
    EXPECT_TRUE(AssignOutputSettings(photo, settings, port));
    EXPECT_TRUE(port.Messages().empty());
    return {photo.settings.nOutputWidth, photo.settings.nOutputHeight};
}

OutputSettings LongEdge(int32_t edge, bool shrinkOnly = false)
{
    OutputSettings s;
    s.nOuputSizeType = SizeLongEdge;
    s.nLongEdge = edge;
    s.nShrinkOnly = shrinkOnly ? 1 : 0;
    return s;
}

OutputSettings Fit(int32_t width, int32_t height, bool shrinkOnly = false)
{
    OutputSettings s;
    s.nOuputSizeType = SizeFitBox;
    s.nBoxWidth = width;
    s.nBoxHeight = height;
    s.nShrinkOnly = shrinkOnly ? 1 : 0;
    return s;
}

TEST(LongEdgeRule, TheLongerSideGetsTheEdgeForLandscapesAndPortraits)
{
    EXPECT_EQ(OutputOf(3000, 2000, LongEdge(1024)), (Size{1024, 683}));  // 682.67 rounds up
    EXPECT_EQ(OutputOf(2000, 3000, LongEdge(1024)), (Size{683, 1024}));  // the portrait stands
    EXPECT_EQ(OutputOf(1920, 1080, LongEdge(1024)), (Size{1024, 576}));
    EXPECT_EQ(OutputOf(500, 500, LongEdge(1024)), (Size{1024, 1024}));
    EXPECT_EQ(OutputOf(3, 2, LongEdge(1)), (Size{1, 1}));                // never below 1 pixel
    EXPECT_EQ(OutputOf(1, 10000, LongEdge(100)), (Size{1, 100}));
    EXPECT_EQ(OutputOf(4, 1, LongEdge(2)), (Size{2, 1}));                // 0.5 rounds up
    EXPECT_EQ(OutputOf(1, 1, LongEdge(std::numeric_limits<int32_t>::max())),
              (Size{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()}));
    EXPECT_EQ(OutputOf(std::numeric_limits<int32_t>::max(), 3, LongEdge(std::numeric_limits<int32_t>::max())),
              (Size{std::numeric_limits<int32_t>::max(), 3}));
    EXPECT_EQ(OutputOf(300, 200, LongEdge(0)), (Size{0, 0}));  // an edited file: refused when converting
}

TEST(FitInBoxRule, TheTighterSideOfTheBoxDecides)
{
    EXPECT_EQ(OutputOf(4000, 3000, Fit(1024, 768)), (Size{1024, 768}));
    EXPECT_EQ(OutputOf(3000, 2000, Fit(1024, 768)), (Size{1024, 683}));
    EXPECT_EQ(OutputOf(2000, 3000, Fit(1024, 768)), (Size{512, 768}));  // a portrait in a landscape box
    EXPECT_EQ(OutputOf(1920, 1080, Fit(1024, 1024)), (Size{1024, 576}));
    EXPECT_EQ(OutputOf(100, 100, Fit(300, 200)), (Size{200, 200}));     // enlarged without Shrink only
    EXPECT_EQ(OutputOf(10000, 1, Fit(100, 100)), (Size{100, 1}));
    EXPECT_EQ(OutputOf(1, 1, Fit(1, 1)), (Size{1, 1}));
    EXPECT_EQ(OutputOf(300, 200, Fit(0, 200)), (Size{0, 0}));
}

TEST(ShrinkOnly, SmallPhotosKeepTheirSizeWhateverTheSizeType)
{
    EXPECT_EQ(OutputOf(800, 600, LongEdge(1024, true)), (Size{800, 600}));
    EXPECT_EQ(OutputOf(3000, 2000, LongEdge(1024, true)), (Size{1024, 683}));  // larger ones still shrink
    EXPECT_EQ(OutputOf(600, 800, Fit(1024, 768, true)), (Size{576, 768}));
    EXPECT_EQ(OutputOf(300, 200, Fit(1024, 768, true)), (Size{300, 200}));

    // The width rule that enlarged small photos and made portraits tall.
    OutputSettings width;  // custom 1024, keep with width
    EXPECT_EQ(OutputOf(800, 1200, width), (Size{1024, 1536}));
    width.nShrinkOnly = 1;
    EXPECT_EQ(OutputOf(800, 1200, width), (Size{800, 1200}));
    EXPECT_EQ(OutputOf(2000, 3000, width), (Size{1024, 1536}));

    OutputSettings exact;  // custom, no keep: each side at most the source's
    exact.nKeepAspectRatio = 0;
    exact.nShrinkOnly = 1;
    EXPECT_EQ(OutputOf(800, 1200, exact), (Size{800, 768}));
    OutputSettings stretch;
    stretch.nOuputSizeType = SizeStretch;
    stretch.dHorizontalStretch = 2.0;
    stretch.dVerticalStretch = 0.5;
    stretch.nShrinkOnly = 1;
    EXPECT_EQ(OutputOf(100, 100, stretch), (Size{100, 50}));
    OutputSettings original;
    original.nOuputSizeType = SizeOriginal;
    original.nShrinkOnly = 1;
    EXPECT_EQ(OutputOf(4321, 1234, original), (Size{4321, 1234}));
}

TEST(ShrinkOnly, AnUnknownCodeStillLeavesTheSizeAsItWas)
{
    FakeWindowPort port;
    PhotoRecord photo;
    photo.width = 10;
    photo.height = 10;
    photo.settings.nShrinkOnly = 1;
    photo.settings.nKeepAspectRatio = 3;
    EXPECT_TRUE(ApplyOutputSize(photo, port));
    EXPECT_EQ(photo.settings.nOutputWidth, 1024);
    EXPECT_EQ(photo.settings.nOutputHeight, 768);
}

using SizeRulesInTheListTest = EngineWorld;

TEST_F(SizeRulesInTheListTest, OptionsGiveEveryPhotoItsOwnComputedSize)
{
    model->Photos().push_back(Photo("wide.jpg", 1600, 1200));
    model->Photos().push_back(Photo("tall.jpg", 1200, 1600));
    model->Photos().push_back(Photo("small.jpg", 300, 200));
    port.QueueAnswer(MessageAnswer::Yes);  // change all photos
    model->Options([](const OutputSettings& current) {
        OutputSettings chosen = current;
        chosen.nOuputSizeType = SizeLongEdge;
        chosen.nLongEdge = 800;
        chosen.nShrinkOnly = 1;
        return std::optional<OutputSettings>(chosen);
    });
    const PhotoList& photos = model->Photos();
    EXPECT_EQ((Size{photos[0].settings.nOutputWidth, photos[0].settings.nOutputHeight}), (Size{800, 600}));
    EXPECT_EQ((Size{photos[1].settings.nOutputWidth, photos[1].settings.nOutputHeight}), (Size{600, 800}));
    EXPECT_EQ((Size{photos[2].settings.nOutputWidth, photos[2].settings.nOutputHeight}), (Size{300, 200}));
    EXPECT_EQ(model->Settings().current.nLongEdge, 800);
}

using StoredOptionsTest = EngineWorld;

TEST_F(StoredOptionsTest, TheFirstStartIsJpegEightyFiveAThousandAndTwentyFourWide)
{
    const OutputSettings& current = model->Settings().current;
    EXPECT_EQ(current.nOuptputFormat, FormatJpg);
    EXPECT_EQ(current.nCurrentJpegQuality, 85);
    EXPECT_EQ(current.nOuputSizeType, SizeCustom);
    EXPECT_EQ(current.nOutputWidth, 1024);
    EXPECT_EQ(current.nOutputHeight, 768);
    EXPECT_EQ(current.nKeepAspectRatio, 1);
    EXPECT_EQ(current.nShrinkOnly, 0);
    EXPECT_EQ(current, FirstStartOutputSettings());
    EXPECT_EQ(model->Settings().stampText, "");
}

TEST_F(StoredOptionsTest, EveryOutputOptionAndTheStampComeBackAtTheNextStart)
{
    OutputSettings chosen;
    chosen.nOuputSizeType = SizeFitBox;
    chosen.nOutputWidth = 640;
    chosen.nOutputHeight = 480;
    chosen.nOuptputFormat = FormatWebp;
    chosen.iComboPixelFormat = 2;
    chosen.nCurrentJpegQuality = 70;
    chosen.nKeepAspectRatio = 2;
    chosen.dHorizontalStretch = 0.1;  // no short decimal in binary
    chosen.dVerticalStretch = 1234.5;
    chosen.nRotateAngel = 270;
    chosen.nFlipType = 2;
    chosen.nWdpEncoderParam = WdpEncoderParamOfQuality(77);
    chosen.nWebpQuality = 100;
    chosen.nAvifQuality = 1;
    chosen.nJxlQuality = 55;
    chosen.nLongEdge = 2048;
    chosen.nBoxWidth = 1920;
    chosen.nBoxHeight = 1080;
    chosen.nShrinkOnly = 1;
    model->Settings().current = chosen;
    port.Type(IDC_STAMP_TEXT, " © 2026, Ünal; \"beach\" ");
    port.Type(IDC_STAMP_X, "-5");
    port.Type(IDC_STAMP_Y, "40");
    EXPECT_TRUE(model->Exit());

    Restart();
    EXPECT_EQ(model->Settings().current, chosen);
    EXPECT_EQ(model->Settings().stampText, " © 2026, Ünal; \"beach\" ");
    EXPECT_EQ(model->Settings().stampX, -5);
    EXPECT_EQ(model->Settings().stampY, 40);
    model->ExchangeToControls();
    EXPECT_EQ(port.ControlText(IDC_STAMP_TEXT), " © 2026, Ünal; \"beach\" ");
    EXPECT_EQ(port.ControlText(IDC_STAMP_X), "-5");

    // The keys keep their meaning: the WDP quality as entered, the format index.
    EXPECT_EQ(store->GetProfileInt(keys::kOption, keys::kWdpQualityControl, 0), 77);
    EXPECT_EQ(store->GetProfileInt(keys::kOption, keys::kOuptputFormat, -1), FormatWebp);
    EXPECT_THAT(ReadFile(store->FileName()), HasSubstr("nOuputSizeType=4"));
}

TEST_F(StoredOptionsTest, WhatTheOptionsDialogStoredBeforeIsTheStartingPoint)
{
    // A file written by the dialog alone: its format and qualities come back, the rest
    // is the first start's.
    store->WriteProfileInt(keys::kOption, keys::kOuptputFormat, FormatPng);
    store->WriteProfileInt(keys::kOption, keys::kCurrentJpegQuality, 95);
    store->WriteProfileInt(keys::kOption, keys::kWdpQualityControl, 40);
    Restart();
    OutputSettings expected = FirstStartOutputSettings();
    expected.nOuptputFormat = FormatPng;
    expected.nCurrentJpegQuality = 95;
    expected.nWdpEncoderParam = 61;
    EXPECT_EQ(model->Settings().current, expected);
}

TEST_F(StoredOptionsTest, ValuesNoOptionCanHoldReadAsTheFirstStartsOnes)
{
    const struct {
        const char* key;
        int32_t value;
    } edited[] = {{keys::kOuptputFormat, 9},       {keys::kComboPixelFormat, 10}, {keys::kCurrentJpegQuality, 0},
                  {keys::kWdpQualityControl, 101}, {keys::kOuputSizeType, 5},    {keys::kOutputWidth, 0},
                  {keys::kKeepAspectRatio, 3},     {keys::kRotateAngel, 45},     {keys::kFlipType, -1},
                  {keys::kLongEdge, -20},          {keys::kBoxHeight, 0}};
    for (const auto& [key, value] : edited) store->WriteProfileInt(keys::kOption, key, value);
    for (const char* text : {"nan", "0", "1e7", "1,5", ""}) {
        store->WriteProfileString(keys::kOption, keys::kHorizontalStretch, text);
        store->WriteProfileString(keys::kOption, keys::kVerticalStretch, "x");
        Restart();
        EXPECT_EQ(model->Settings().current, FirstStartOutputSettings()) << text;
    }
    store->WriteProfileInt(keys::kOption, keys::kShrinkOnly, 7);
    store->WriteProfileString(keys::kOption, keys::kHorizontalStretch, "0.000001");
    Restart();
    EXPECT_EQ(model->Settings().current.nShrinkOnly, 1);
    EXPECT_EQ(model->Settings().current.dHorizontalStretch, 0.000001);
}

TEST_F(StoredOptionsTest, ARefusedExitStoresNothing)
{
    model->Settings().current.nOuptputFormat = FormatGif;
    model->Run().idle.store(0);
    EXPECT_FALSE(model->Exit());
    model->Run().idle.store(1);
    Restart();
    EXPECT_EQ(model->Settings().current.nOuptputFormat, FormatJpg);
}

}  // namespace
}  // namespace tallowin::test
