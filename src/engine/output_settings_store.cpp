#include "output_settings_store.h"

#include "settings_keys.h"
#include "settings_store.h"

#include <charconv>
#include <cmath>
#include <string>

namespace tallowin {

namespace {

constexpr int32_t kQualityMin = 1;
constexpr int32_t kQualityMax = 100;
constexpr double kStretchMin = 0.000001;
constexpr double kStretchMax = 1000000.0;

bool InRange(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

// The stored integer when `valid` accepts it, otherwise `fallback`.
template <typename Valid>
int32_t ReadInt(const SettingsStore& store, const char* key, int32_t fallback, Valid valid)
{
    const int32_t value = store.GetProfileInt(keys::kOption, key, fallback);
    return valid(value) ? value : fallback;
}

int32_t ReadQuality(const SettingsStore& store, const char* key, int32_t fallback)
{
    return ReadInt(store, key, fallback, [](int32_t v) { return InRange(v, kQualityMin, kQualityMax); });
}

int32_t ReadPixels(const SettingsStore& store, const char* key, int32_t fallback)
{
    return ReadInt(store, key, fallback, [](int32_t v) { return v >= 1; });
}

// A stretch factor stored as text; the factors the options accept only.
double ReadStretch(const SettingsStore& store, const char* key, double fallback)
{
    const std::string text = store.GetProfileString(keys::kOption, key, "");
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value < kStretchMin || value > kStretchMax)
        return fallback;
    return value;
}

// The shortest text that reads back as the same double.
std::string StretchText(double value)
{
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("1");
}

}  // namespace

OutputSettings LoadOutputSettings(const SettingsStore& store)
{
    const OutputSettings first = FirstStartOutputSettings();
    OutputSettings s = first;
    s.nOuptputFormat = ReadInt(store, keys::kOuptputFormat, first.nOuptputFormat, IsKnownOutputFormat);
    s.iComboPixelFormat = ReadInt(store, keys::kComboPixelFormat, first.iComboPixelFormat,
                                  [](int32_t v) { return InRange(v, 0, kPixelFormatCount - 1); });
    s.nCurrentJpegQuality = ReadQuality(store, keys::kCurrentJpegQuality, first.nCurrentJpegQuality);
    const int32_t wdpQuality =
        ReadQuality(store, keys::kWdpQualityControl, WdpQualityOfEncoderParam(first.nWdpEncoderParam));
    s.nWdpEncoderParam = WdpEncoderParamOfQuality(wdpQuality);
    s.nWebpQuality = ReadQuality(store, keys::kWebpQuality, first.nWebpQuality);
    s.nAvifQuality = ReadQuality(store, keys::kAvifQuality, first.nAvifQuality);
    s.nJxlQuality = ReadQuality(store, keys::kJxlQuality, first.nJxlQuality);

    s.nOuputSizeType = ReadInt(store, keys::kOuputSizeType, first.nOuputSizeType,
                               [](int32_t v) { return InRange(v, SizeOriginal, SizeFitBox); });
    s.nOutputWidth = ReadPixels(store, keys::kOutputWidth, first.nOutputWidth);
    s.nOutputHeight = ReadPixels(store, keys::kOutputHeight, first.nOutputHeight);
    s.nKeepAspectRatio =
        ReadInt(store, keys::kKeepAspectRatio, first.nKeepAspectRatio, [](int32_t v) { return InRange(v, 0, 2); });
    s.dHorizontalStretch = ReadStretch(store, keys::kHorizontalStretch, first.dHorizontalStretch);
    s.dVerticalStretch = ReadStretch(store, keys::kVerticalStretch, first.dVerticalStretch);
    s.nRotateAngel = ReadInt(store, keys::kRotateAngel, first.nRotateAngel,
                             [](int32_t v) { return v == 0 || v == 90 || v == 180 || v == 270; });
    s.nFlipType = ReadInt(store, keys::kFlipType, first.nFlipType, [](int32_t v) { return InRange(v, 0, 2); });
    s.nLongEdge = ReadPixels(store, keys::kLongEdge, first.nLongEdge);
    s.nBoxWidth = ReadPixels(store, keys::kBoxWidth, first.nBoxWidth);
    s.nBoxHeight = ReadPixels(store, keys::kBoxHeight, first.nBoxHeight);
    s.nShrinkOnly = store.GetProfileInt(keys::kOption, keys::kShrinkOnly, first.nShrinkOnly) != 0 ? 1 : 0;
    return s;
}

void SaveOutputSettings(SettingsStore& store, const OutputSettings& s)
{
    const struct {
        const char* key;
        int32_t value;
    } integers[] = {
        {keys::kOuptputFormat, s.nOuptputFormat},
        {keys::kComboPixelFormat, s.iComboPixelFormat},
        {keys::kCurrentJpegQuality, s.nCurrentJpegQuality},
        {keys::kWdpQualityControl, WdpQualityOfEncoderParam(s.nWdpEncoderParam)},
        {keys::kWebpQuality, s.nWebpQuality},
        {keys::kAvifQuality, s.nAvifQuality},
        {keys::kJxlQuality, s.nJxlQuality},
        {keys::kOuputSizeType, s.nOuputSizeType},
        {keys::kOutputWidth, s.nOutputWidth},
        {keys::kOutputHeight, s.nOutputHeight},
        {keys::kKeepAspectRatio, s.nKeepAspectRatio},
        {keys::kRotateAngel, s.nRotateAngel},
        {keys::kFlipType, s.nFlipType},
        {keys::kLongEdge, s.nLongEdge},
        {keys::kBoxWidth, s.nBoxWidth},
        {keys::kBoxHeight, s.nBoxHeight},
        {keys::kShrinkOnly, s.nShrinkOnly},
    };
    for (const auto& [key, value] : integers) store.WriteProfileInt(keys::kOption, key, value);
    store.WriteProfileString(keys::kOption, keys::kHorizontalStretch, StretchText(s.dHorizontalStretch));
    store.WriteProfileString(keys::kOption, keys::kVerticalStretch, StretchText(s.dVerticalStretch));
}

}  // namespace tallowin
