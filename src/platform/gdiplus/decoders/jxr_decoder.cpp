// JPEG XR (HD Photo) through the WDP codec library's decoder, whatever the file is
// called. libjxr trusts its input and has never been fuzzed: our own container check
// reads the header here, and libjxr decodes in a child process that hands the pixels
// back through shared memory, so a crash or a hang in it fails one photo and nothing
// else.
#include "jxr_decoder.h"

#include "decoder_support.h"
#include "function_adapter.h"
#include "isolated_call.h"
#include "jxr_codec.h"
#include "jxr_container.h"

#include <sys/mman.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <new>
#include <utility>

namespace tallowin::codec {

namespace {

// "II", the format's identifier 0xBC, then version 1 (0 in early HD Photo files).
constexpr uint8_t kJxrMagic[3] = {'I', 'I', 0xBC};
constexpr uint8_t kMaxVersion = 1;

// The largest picture within the limits decodes in well under this.
constexpr std::chrono::minutes kDecodeTimeLimit{2};

DecodeStatus FromContainer(wdp::ContainerCheck check) {
    switch (check) {
        case wdp::ContainerCheck::Ok: return DecodeStatus::Ok;
        case wdp::ContainerCheck::OverLimit: return DecodeStatus::OverLimit;
        case wdp::ContainerCheck::NotJxr:
        case wdp::ContainerCheck::Truncated: break;
    }
    // libjxr decodes a cut-short file as whole with garbage pixels, so a file the
    // check finds truncated is refused rather than decoded in part.
    return DecodeStatus::NotAnImage;
}

DecodeStatus FromDecode(wdp::JxrDecodeResult result) {
    switch (result) {
        case wdp::JxrDecodeResult::Ok: return DecodeStatus::Ok;
        case wdp::JxrDecodeResult::OverLimit: return DecodeStatus::OverLimit;
        case wdp::JxrDecodeResult::OutOfMemory: return DecodeStatus::OutOfMemory;
        case wdp::JxrDecodeResult::NotJxr:
        case wdp::JxrDecodeResult::Truncated: break;
    }
    return DecodeStatus::NotAnImage;
}

DecodeStatus ReadAndCheck(const std::string& path, std::vector<uint8_t>& bytes, wdp::JxrLayout& layout) {
    const DecodeStatus read = detail::ReadWholeFile(path, bytes);
    if (read != DecodeStatus::Ok) return read;
    const DecodeStatus checked = FromContainer(wdp::CheckJxrContainer(bytes.data(), bytes.size(), layout));
    if (checked != DecodeStatus::Ok) return checked;
    return WithinLimits(layout.width, layout.height) ? DecodeStatus::Ok : DecodeStatus::OverLimit;
}

// What the child leaves at the start of the shared memory, before the pixels.
struct ChildReport {
    wdp::JxrDecodeResult result;
    int32_t width;
    int32_t height;
    float dpiX;
    float dpiY;
    bool hasAlpha;
};

// An anonymous mapping shared with the child, unmapped on every way out.
class SharedPixels {
public:
    explicit SharedPixels(size_t size) : size_(size) {
        void* at = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (at != MAP_FAILED) memory_ = static_cast<uint8_t*>(at);
    }
    ~SharedPixels() {
        if (memory_ != nullptr) ::munmap(memory_, size_);
    }
    SharedPixels(const SharedPixels&) = delete;
    SharedPixels& operator=(const SharedPixels&) = delete;

    bool Valid() const { return memory_ != nullptr; }
    ChildReport* Report() { return reinterpret_cast<ChildReport*>(memory_); }
    uint8_t* Pixels() { return memory_ + kPixelsAt; }

    static constexpr size_t kPixelsAt = (sizeof(ChildReport) + 63) / 64 * 64;

private:
    size_t size_;
    uint8_t* memory_ = nullptr;
};

std::atomic<bool> g_inThisProcess{false};

// libjxr's decode without a child process: a crash or a hang ends this process.
DecodeStatus DecodeInPlace(std::vector<uint8_t>& bytes, size_t pixelBytes, Raster& out) {
    wdp::JxrPicture picture;
    const wdp::JxrDecodeResult result = wdp::DecodeJxrBgra(bytes.data(), bytes.size(), picture);
    bytes = {};
    if (result != wdp::JxrDecodeResult::Ok) return FromDecode(result);
    if (!WithinLimits(picture.width, picture.height) ||
        static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4 != pixelBytes ||
        picture.pixels.size() != pixelBytes) {
        return DecodeStatus::NotAnImage;
    }
    out.width = picture.width;
    out.height = picture.height;
    // The JPEG XR codec keeps its own vector: copied into the raster's memory once.
    out.pixels.assign(picture.pixels.begin(), picture.pixels.end());
    return DecodeStatus::Ok;
}

}  // namespace

void DecodeJxrInThisProcess() { g_inThisProcess.store(true, std::memory_order_relaxed); }

bool LooksLikeJxr(const uint8_t* head, size_t size) {
    return size >= sizeof kJxrMagic + 1 && std::memcmp(head, kJxrMagic, sizeof kJxrMagic) == 0 &&
           head[sizeof kJxrMagic] <= kMaxVersion;
}

DecodeStatus JxrReadHeader(const std::string& path, ImageInfo& info) {
    std::vector<uint8_t> bytes;
    wdp::JxrLayout layout;
    const DecodeStatus status = ReadAndCheck(path, bytes, layout);
    if (status != DecodeStatus::Ok) return status;
    info = ImageInfo{};
    info.width = static_cast<int32_t>(layout.width);
    info.height = static_cast<int32_t>(layout.height);
    if (layout.dpiX > 0) info.dpiX = layout.dpiX;
    if (layout.dpiY > 0) info.dpiY = layout.dpiY;
    info.hasAlpha = layout.hasAlphaPlane || wdp::JxrFormatHasAlpha(layout.pixelFormat);
    return DecodeStatus::Ok;
}

DecodeStatus JxrDecode(const std::string& path, const DecodeRequest&, Raster& out, std::string&) {
    std::vector<uint8_t> bytes;
    wdp::JxrLayout layout;
    const DecodeStatus status = ReadAndCheck(path, bytes, layout);
    if (status != DecodeStatus::Ok) return status;

    // A rotated picture swaps width and height, never their product.
    const size_t pixelBytes = static_cast<size_t>(layout.width) * layout.height * 4;
    if (g_inThisProcess.load(std::memory_order_relaxed)) return DecodeInPlace(bytes, pixelBytes, out);
    SharedPixels shared(SharedPixels::kPixelsAt + pixelBytes);
    if (!shared.Valid()) return DecodeStatus::OutOfMemory;
    ChildReport* report = shared.Report();
    *report = ChildReport{wdp::JxrDecodeResult::NotJxr, 0, 0, 0, 0, false};

    const bool decoded = wdp::RunIsolated(
        [&] {
            wdp::JxrPicture picture;
            report->result = wdp::DecodeJxrBgra(bytes.data(), bytes.size(), picture);
            if (report->result != wdp::JxrDecodeResult::Ok) return false;
            if (picture.pixels.size() != pixelBytes) {
                report->result = wdp::JxrDecodeResult::NotJxr;
                return false;
            }
            std::memcpy(shared.Pixels(), picture.pixels.data(), pixelBytes);
            report->width = picture.width;
            report->height = picture.height;
            report->dpiX = picture.dpiX;
            report->dpiY = picture.dpiY;
            report->hasAlpha = picture.hasAlpha;
            return true;
        },
        kDecodeTimeLimit);
    bytes = {};
    // A child that crashed or ran out of time may have left anything in the report.
    if (!decoded) return report->result == wdp::JxrDecodeResult::Ok ? DecodeStatus::NotAnImage : FromDecode(report->result);
    if (!WithinLimits(report->width, report->height) ||
        static_cast<size_t>(report->width) * static_cast<size_t>(report->height) * 4 != pixelBytes) {
        return DecodeStatus::NotAnImage;
    }
    const DecodeStatus allocated = detail::AllocateRaster(out, report->width, report->height);
    if (allocated != DecodeStatus::Ok) return allocated;
    std::memcpy(out.pixels.data(), shared.Pixels(), pixelBytes);
    return DecodeStatus::Ok;
}

const Decoder& JxrDecoder() {
    static const FunctionAdapter<LooksLikeJxr, JxrReadHeader, JxrDecode> adapter("jxr");
    return adapter;
}

}  // namespace tallowin::codec
