// Conversion to sRGB through lcms2.
//
// Intent: perceptual. For the matrix-and-curve profiles that cameras and phones embed
// (Display P3, Adobe RGB, ProPhoto) lcms2 computes every intent from the same matrix
// and curves, so this equals relative colorimetric and in-gamut colours convert
// exactly; for table-based profiles, the perceptual table is the one the profile's
// maker tuned for showing photos, and it is what viewers and lcms2's own tools use.
//
// Threads: a transform is created once per profile, in a context of its own, and then
// used from any thread. lcms2 keeps its one-pixel cache per call since 2.3; the cache
// is switched off anyway (cmsFLAGS_NOCACHE), so a shared transform holds no state that
// calls change.
#include "srgb_conversion.h"

#include <lcms2.h>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace tallowin::colour {
namespace {

// Transforms kept at once; an unusual run with more profiles starts the cache afresh.
constexpr size_t kCacheLimit = 16;
// Levels of the grid that tells an sRGB-equivalent profile: 0, 51, ..., 255 per channel.
constexpr int kIdentityGridSteps = 6;

struct Entry {
    std::vector<uint8_t> profile;
    ColourStatus status = ColourStatus::Broken;
    std::string reason;
    cmsContext context = nullptr;
    cmsHTRANSFORM bgr = nullptr;
    cmsHTRANSFORM bgra = nullptr;
    std::string errors;  // lcms2's messages while the profile was opened and linked

    Entry() = default;
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    ~Entry()
    {
        if (bgr != nullptr) {
            cmsDeleteTransform(bgr);
        }
        if (bgra != nullptr) {
            cmsDeleteTransform(bgra);
        }
        if (context != nullptr) {
            cmsDeleteContext(context);
        }
    }
};

void CollectError(cmsContext context, cmsUInt32Number /*code*/, const char* text)
{
    auto* errors = static_cast<std::string*>(cmsGetContextUserData(context));
    if (errors != nullptr && text != nullptr) {
        *errors += errors->empty() ? text : std::string("; ") + text;
    }
}

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;

std::string WithDetail(std::string text, const std::string& detail)
{
    return detail.empty() ? text : text + " (" + detail + ")";
}

// True when the transform maps every colour of a coarse grid to itself.
bool IsIdentity(cmsHTRANSFORM transform)
{
    constexpr int n = kIdentityGridSteps;
    std::array<uint8_t, n * n * n * 3> grid{};
    size_t i = 0;
    for (int b = 0; b < n; ++b) {
        for (int g = 0; g < n; ++g) {
            for (int r = 0; r < n; ++r) {
                grid[i++] = static_cast<uint8_t>(b * 255 / (n - 1));
                grid[i++] = static_cast<uint8_t>(g * 255 / (n - 1));
                grid[i++] = static_cast<uint8_t>(r * 255 / (n - 1));
            }
        }
    }
    std::array<uint8_t, grid.size()> out{};
    cmsDoTransform(transform, grid.data(), out.data(), n * n * n);
    return grid == out;
}

std::shared_ptr<Entry> Build(const std::vector<uint8_t>& profile)
{
    auto entry = std::make_shared<Entry>();
    entry->profile = profile;
    entry->context = cmsCreateContext(nullptr, &entry->errors);
    if (entry->context == nullptr) {
        entry->reason = "the colour engine could not start";
        return entry;
    }
    cmsSetLogErrorHandlerTHR(entry->context, CollectError);

    const ProfilePtr source(
        cmsOpenProfileFromMemTHR(entry->context, profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!source) {
        entry->reason = WithDetail("the embedded colour profile is damaged", entry->errors);
        return entry;
    }
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    const cmsProfileClassSignature kind = cmsGetDeviceClass(source.get());
    if (space != cmsSigRgbData || kind == cmsSigLinkClass || kind == cmsSigAbstractClass) {
        entry->status = ColourStatus::Unsupported;
        entry->reason = "the embedded colour profile is not for RGB pixels";
        return entry;
    }
    const ProfilePtr srgb(cmsCreate_sRGBProfileTHR(entry->context));
    const cmsUInt32Number flags = cmsFLAGS_NOCACHE;
    entry->bgr = srgb ? cmsCreateTransformTHR(entry->context, source.get(), TYPE_BGR_8, srgb.get(), TYPE_BGR_8,
                                              INTENT_PERCEPTUAL, flags)
                      : nullptr;
    entry->bgra = srgb ? cmsCreateTransformTHR(entry->context, source.get(), TYPE_BGRA_8, srgb.get(), TYPE_BGRA_8,
                                               INTENT_PERCEPTUAL, flags | cmsFLAGS_COPY_ALPHA)
                       : nullptr;
    if (entry->bgr == nullptr || entry->bgra == nullptr) {
        entry->reason = WithDetail("the embedded colour profile cannot be used", entry->errors);
        return entry;
    }
    entry->status = IsIdentity(entry->bgr) ? ColourStatus::AlreadySrgb : ColourStatus::Converted;
    return entry;
}

std::shared_ptr<Entry> TransformFor(const std::vector<uint8_t>& profile)
{
    static std::mutex mutex;
    static std::unordered_multimap<size_t, std::shared_ptr<Entry>> cache;
    const size_t key = std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(profile.data()), profile.size()));

    std::lock_guard lock(mutex);
    const auto [first, last] = cache.equal_range(key);
    for (auto it = first; it != last; ++it) {
        if (it->second->profile == profile) {
            return it->second;
        }
    }
    if (cache.size() >= kCacheLimit) {
        cache.clear();  // entries still in use live on in their callers' hands
    }
    std::shared_ptr<Entry> entry = Build(profile);
    cache.emplace(key, entry);
    return entry;
}

}  // namespace

ColourResult ConvertToSrgb(uint8_t* pixels, int32_t width, int32_t height, int64_t stride, int bytesPerPixel,
                           const std::vector<uint8_t>& iccProfile)
{
    if (iccProfile.empty()) {
        return {ColourStatus::NoProfile, {}};
    }
    if (pixels == nullptr || width < 1 || height < 1 || (bytesPerPixel != 3 && bytesPerPixel != 4)
        || stride < static_cast<int64_t>(width) * bytesPerPixel) {
        return {ColourStatus::Unsupported, "the pixels are not 24-bit or 32-bit rows"};
    }
    const std::shared_ptr<Entry> entry = TransformFor(iccProfile);
    if (entry->status != ColourStatus::Converted) {
        return {entry->status, entry->reason};
    }
    cmsHTRANSFORM transform = bytesPerPixel == 3 ? entry->bgr : entry->bgra;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = pixels + y * stride;
        cmsDoTransform(transform, row, row, static_cast<cmsUInt32Number>(width));
    }
    return {ColourStatus::Converted, {}};
}

}  // namespace tallowin::colour
