#include "jxr_codec.h"

#include "jxr_container.h"
#include "jxr_file_stream.h"

#include <algorithm>
#include <iterator>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

// libjxr's glue header defines min/max macros and must come last.
extern "C" {
#include <JXRGlue.h>
}
#undef min
#undef max

namespace tallowin::wdp {

namespace {

// Owners of libjxr objects: each one is released on every way out.
struct DecoderDeleter {
    void operator()(PKImageDecode* decoder) const { decoder->Release(&decoder); }
};
struct ConverterDeleter {
    void operator()(PKFormatConverter* converter) const { converter->Release(&converter); }
};
struct EncoderDeleter {
    void operator()(PKImageEncode* encoder) const { encoder->Release(&encoder); }
};
struct StreamDeleter {
    void operator()(WMPStream* stream) const { stream->Close(&stream); }
};
using DecoderPtr = std::unique_ptr<PKImageDecode, DecoderDeleter>;
using ConverterPtr = std::unique_ptr<PKFormatConverter, ConverterDeleter>;
using EncoderPtr = std::unique_ptr<PKImageEncode, EncoderDeleter>;
using StreamPtr = std::unique_ptr<WMPStream, StreamDeleter>;

// How the converter's output bytes are laid out.
enum class Layout { Bgr24, Rgb24, Bgrx32, Rgbx32, Bgra32, Rgba32, Gray8 };

struct Target {
    const PKPixelFormatGUID* format;
    Layout layout;
};

// The converter does single steps only, so try the targets in turn: most formats reach
// 24bppBGR directly; 48-bit and some others stop at 24bppRGB; alpha formats at 32-bit;
// 16-bit grey at 8-bit grey.
constexpr Target kOpaqueTargets[] = {
    {&GUID_PKPixelFormat24bppBGR, Layout::Bgr24},
    {&GUID_PKPixelFormat24bppRGB, Layout::Rgb24},
    {&GUID_PKPixelFormat32bppBGR, Layout::Bgrx32},
    {&GUID_PKPixelFormat32bppBGRA, Layout::Bgrx32},
    {&GUID_PKPixelFormat32bppRGBA, Layout::Rgbx32},
    {&GUID_PKPixelFormat8bppGray, Layout::Gray8},
};
// A picture with an alpha channel keeps it where the converter can reach straight
// 8-bit alpha; otherwise it is read as opaque.
constexpr Target kAlphaTargets[] = {
    {&GUID_PKPixelFormat32bppBGRA, Layout::Bgra32},
    {&GUID_PKPixelFormat32bppRGBA, Layout::Rgba32},
};

size_t BytesPerPixel(Layout layout) {
    switch (layout) {
        case Layout::Bgrx32: case Layout::Rgbx32: case Layout::Bgra32: case Layout::Rgba32: return 4;
        case Layout::Gray8: return 1;
        case Layout::Bgr24: case Layout::Rgb24: return 3;
    }
    return 4;
}

// Bits per pixel of the decoder's own format, and whether it carries alpha; the
// converter works in place, so the buffer must hold a row of that format as well as a
// row of the target.
bool SourceFormatInfo(const PKPixelFormatGUID& format, size_t& bits, bool& alpha) {
    PKPixelInfo info{};
    info.pGUIDPixFmt = &format;
    if (Failed(PixelFormatLookup(&info, LOOKUP_FORWARD))) return false;
    bits = info.cbitUnit;
    alpha = (info.grBit & PK_pixfmtHasAlpha) != 0;
    return bits > 0;
}

ConverterPtr TryTargets(PKImageDecode* decoder, const Target* first, const Target* last, Layout& layout) {
    for (const Target* target = first; target != last; ++target) {
        PKFormatConverter* raw = nullptr;
        if (Failed(PKCodecFactory_CreateFormatConverter(&raw))) return nullptr;
        ConverterPtr converter(raw);
        if (!Failed(converter->Initialize(converter.get(), decoder, nullptr, *target->format))) {
            layout = target->layout;
            return converter;
        }
    }
    return nullptr;
}

ConverterPtr CreateConverter(PKImageDecode* decoder, bool sourceHasAlpha, Layout& layout) {
    if (sourceHasAlpha) {
        ConverterPtr converter = TryTargets(decoder, std::begin(kAlphaTargets), std::end(kAlphaTargets), layout);
        if (converter) return converter;
    }
    return TryTargets(decoder, std::begin(kOpaqueTargets), std::end(kOpaqueTargets), layout);
}

// One converted pixel as B, G, R, A (A = 255 for layouts without alpha).
inline void ReadPixel(const uint8_t* row, Layout layout, int32_t x, uint8_t bgra[4]) {
    switch (layout) {
        case Layout::Bgr24: { const uint8_t* p = row + x * 3; bgra[0] = p[0]; bgra[1] = p[1]; bgra[2] = p[2]; bgra[3] = 255; return; }
        case Layout::Rgb24: { const uint8_t* p = row + x * 3; bgra[0] = p[2]; bgra[1] = p[1]; bgra[2] = p[0]; bgra[3] = 255; return; }
        case Layout::Bgrx32: { const uint8_t* p = row + x * 4; bgra[0] = p[0]; bgra[1] = p[1]; bgra[2] = p[2]; bgra[3] = 255; return; }
        case Layout::Rgbx32: { const uint8_t* p = row + x * 4; bgra[0] = p[2]; bgra[1] = p[1]; bgra[2] = p[0]; bgra[3] = 255; return; }
        case Layout::Bgra32: { const uint8_t* p = row + x * 4; bgra[0] = p[0]; bgra[1] = p[1]; bgra[2] = p[2]; bgra[3] = p[3]; return; }
        case Layout::Rgba32: { const uint8_t* p = row + x * 4; bgra[0] = p[2]; bgra[1] = p[1]; bgra[2] = p[0]; bgra[3] = p[3]; return; }
        case Layout::Gray8: bgra[0] = bgra[1] = bgra[2] = row[x]; bgra[3] = 255; return;
    }
}

// A straight-alpha colour value laid over white.
inline uint8_t OverWhite(uint8_t value, uint8_t alpha) {
    return static_cast<uint8_t>((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

// Packs a converted row into B, G, R, laying transparent pixels over white. The row is
// copied out first: its packed form may reach over source bytes not yet read.
void PackRowBgr(const uint8_t* src, Layout layout, int32_t width, uint8_t* dst, std::vector<uint8_t>& scratch) {
    scratch.assign(src, src + static_cast<size_t>(width) * BytesPerPixel(layout));
    uint8_t bgra[4] = {0, 0, 0, 255};  // every layout sets all four; the zeros quiet the optimiser
    for (int32_t x = 0; x < width; ++x, dst += 3) {
        ReadPixel(scratch.data(), layout, x, bgra);
        dst[0] = OverWhite(bgra[0], bgra[3]);
        dst[1] = OverWhite(bgra[1], bgra[3]);
        dst[2] = OverWhite(bgra[2], bgra[3]);
    }
}

// Packs a converted row into B, G, R, A with straight alpha.
void PackRowBgra(const uint8_t* src, Layout layout, int32_t width, uint8_t* dst, std::vector<uint8_t>& scratch) {
    scratch.assign(src, src + static_cast<size_t>(width) * BytesPerPixel(layout));
    for (int32_t x = 0; x < width; ++x, dst += 4) ReadPixel(scratch.data(), layout, x, dst);
}

JxrDecodeResult FromContainerCheck(ContainerCheck check) {
    switch (check) {
        case ContainerCheck::Ok: return JxrDecodeResult::Ok;
        case ContainerCheck::NotJxr: return JxrDecodeResult::NotJxr;
        case ContainerCheck::Truncated: return JxrDecodeResult::Truncated;
        case ContainerCheck::OverLimit: return JxrDecodeResult::OverLimit;
    }
    return JxrDecodeResult::NotJxr;
}

// The steps both outputs share: check the container, decode through libjxr's
// converter into one buffer of rows `stride` bytes apart, each at least
// `packedBytesPerPixel` x width long, then hand every row to `pack`, front to back.
// Packed rows sit at width x packedBytesPerPixel apart from the buffer's start.
template <typename Pack>
JxrDecodeResult DecodeRows(const uint8_t* data, size_t size, size_t packedBytesPerPixel, std::vector<uint8_t>& buffer,
                           JxrPicture& picture, Pack pack) {
    JxrLayout layout;
    const ContainerCheck check = CheckJxrContainer(data, size, layout);
    if (check != ContainerCheck::Ok) return FromContainerCheck(check);

    // A memory stream bounds every read libjxr makes to the file's bytes. The stream
    // never writes, so handing it the const buffer is safe.
    WMPStream* rawStream = nullptr;
    if (Failed(CreateWS_Memory(&rawStream, const_cast<uint8_t*>(data), size))) {
        return JxrDecodeResult::OutOfMemory;
    }
    StreamPtr stream(rawStream);

    PKImageDecode* rawDecoder = nullptr;
    if (Failed(PKCodecFactory_CreateCodec(&IID_PKImageWmpDecode, reinterpret_cast<void**>(&rawDecoder)))) {
        return JxrDecodeResult::OutOfMemory;
    }
    DecoderPtr decoder(rawDecoder);
    decoder->fStreamOwner = 0;  // the stream is ours, closed after the decoder
    if (Failed(decoder->Initialize(decoder.get(), stream.get()))) return JxrDecodeResult::NotJxr;

    I32 width = 0;
    I32 height = 0;
    PKPixelFormatGUID sourceFormat{};
    if (Failed(decoder->GetSize(decoder.get(), &width, &height)) ||
        Failed(decoder->GetPixelFormat(decoder.get(), &sourceFormat))) {
        return JxrDecodeResult::NotJxr;
    }
    if (!SizeWithinLimits(width, height)) return width <= 0 || height <= 0 ? JxrDecodeResult::NotJxr : JxrDecodeResult::OverLimit;
    // The decoder's size comes from the same header the container check read; a
    // rotated picture swaps the two.
    const bool sameSize = (static_cast<uint32_t>(width) == layout.width && static_cast<uint32_t>(height) == layout.height) ||
                          (static_cast<uint32_t>(width) == layout.height && static_cast<uint32_t>(height) == layout.width);
    if (!sameSize) return JxrDecodeResult::NotJxr;

    size_t sourceBits = 0;
    bool sourceAlpha = false;
    if (!SourceFormatInfo(sourceFormat, sourceBits, sourceAlpha)) return JxrDecodeResult::NotJxr;
    Layout targetLayout = Layout::Bgr24;
    ConverterPtr converter = CreateConverter(decoder.get(), sourceAlpha, targetLayout);
    if (!converter) return JxrDecodeResult::NotJxr;
    const bool keepAlpha = targetLayout == Layout::Bgra32 || targetLayout == Layout::Rgba32;
    // The decoder fills the alpha channel (interleaved or planar) only when asked to
    // decode image and alpha.
    constexpr U8 kDecodeImageAndAlpha = 2;
    if (keepAlpha) decoder->WMP.wmiSCP.uAlphaMode = kDecodeImageAndAlpha;

    const size_t sourceStride = (sourceBits * static_cast<size_t>(width) + 7) / 8;
    const size_t packedStride = static_cast<size_t>(width) * packedBytesPerPixel;
    // libjxr walks rows in units of the pixel's sample type (16-bit grey, 32-bit float),
    // so the stride must be a multiple of every sample size.
    constexpr size_t kStrideAlignment = 16;
    const size_t widest = std::max({sourceStride, BytesPerPixel(targetLayout) * static_cast<size_t>(width), packedStride});
    const size_t stride = (widest + kStrideAlignment - 1) / kStrideAlignment * kStrideAlignment;
    // One buffer serves the decoder, the converter and the packed result.
    try {
        buffer.assign(stride * static_cast<size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        return JxrDecodeResult::OutOfMemory;
    }

    const PKRect all{0, 0, width, height};
    if (Failed(converter->Copy(converter.get(), &all, buffer.data(), static_cast<U32>(stride)))) {
        return JxrDecodeResult::NotJxr;
    }
    std::vector<uint8_t> scratch;
    for (int32_t y = 0; y < height; ++y) {
        pack(&buffer[static_cast<size_t>(y) * stride], targetLayout, width, &buffer[static_cast<size_t>(y) * packedStride],
             scratch);
    }
    buffer.resize(packedStride * static_cast<size_t>(height));
    picture.width = width;
    picture.height = height;
    picture.hasAlpha = keepAlpha;

    Float dpiX = 0;
    Float dpiY = 0;
    if (!Failed(decoder->GetResolution(decoder.get(), &dpiX, &dpiY))) {
        if (dpiX > 0) picture.dpiX = dpiX;
        if (dpiY > 0) picture.dpiY = dpiY;
    }
    // The converter refers to the decoder: release it first.
    converter.reset();
    decoder.reset();
    return JxrDecodeResult::Ok;
}

}  // namespace

JxrDecodeResult DecodeJxr(const std::vector<uint8_t>& bytes, BgrImage& image) {
    JxrPicture picture;
    std::vector<uint8_t> buffer;
    const JxrDecodeResult result = DecodeRows(bytes.data(), bytes.size(), 3, buffer, picture, PackRowBgr);
    if (result != JxrDecodeResult::Ok) return result;
    image.pixels = std::move(buffer);
    image.width = picture.width;
    image.height = picture.height;
    image.dpiX = picture.dpiX;
    image.dpiY = picture.dpiY;
    return JxrDecodeResult::Ok;
}

bool JxrFormatHasAlpha(const uint8_t (&format)[16]) {
    // The file stores the GUID's fields little-endian, as the library keeps it in memory.
    PKPixelFormatGUID guid{};
    static_assert(sizeof guid == sizeof format);
    std::memcpy(&guid, format, sizeof guid);
    PKPixelInfo info{};
    info.pGUIDPixFmt = &guid;
    return !Failed(PixelFormatLookup(&info, LOOKUP_FORWARD)) && (info.grBit & PK_pixfmtHasAlpha) != 0;
}

JxrDecodeResult DecodeJxrBgra(const uint8_t* data, size_t size, JxrPicture& picture) {
    picture = JxrPicture{};
    return DecodeRows(data, size, 4, picture.pixels, picture, PackRowBgra);
}

bool EncodeJxr(BgrImage& image, int quantization, const std::string& path) {
    if (quantization < kLosslessQuantization || quantization > kMaxQuantization) return false;
    if (!SizeWithinLimits(image.width, image.height)) return false;

    // Every write goes through the writer, which keeps the first failure.
    FileWriter writer(CreateForWriting(path));
    StreamPtr stream(CreateWriterStream(writer));
    if (!stream || writer.HasFailed()) return false;

    PKImageEncode* rawEncoder = nullptr;
    if (Failed(PKCodecFactory_CreateCodec(&IID_PKImageWmpEncode, reinterpret_cast<void**>(&rawEncoder)))) return false;

    CWMIStrCodecParam params{};
    params.bVerbose = FALSE;
    params.cfColorFormat = YUV_444;
    params.bdBitDepth = BD_LONG;
    params.bfBitstreamFormat = FREQUENCY;
    params.bProgressiveMode = TRUE;
    // The overlap filter only helps lossy pictures; lossless coding is exact either way.
    params.olOverlap = quantization == kLosslessQuantization ? OL_NONE : OL_ONE;
    params.cNumOfSliceMinus1H = 0;
    params.cNumOfSliceMinus1V = 0;
    params.sbSubband = SB_ALL;
    params.uAlphaMode = 0;
    const bool initialized = !Failed(rawEncoder->Initialize(rawEncoder, stream.get(), &params, sizeof params));
    // Once the encoder has taken the stream, releasing the encoder closes it.
    if (rawEncoder->pStream == stream.get()) stream.release();
    EncoderPtr encoder(rawEncoder);
    if (!initialized) return false;
    // Initialize resets the quantization, so it is set afterwards.
    encoder->WMP.wmiSCP.uiDefaultQPIndex = static_cast<U8>(quantization);

    if (Failed(encoder->SetPixelFormat(encoder.get(), GUID_PKPixelFormat24bppBGR)) ||
        Failed(encoder->SetSize(encoder.get(), image.width, image.height)) ||
        Failed(encoder->SetResolution(encoder.get(), image.dpiX, image.dpiY)) ||
        Failed(encoder->WritePixels(encoder.get(), static_cast<U32>(image.height), image.pixels.data(),
                                    static_cast<U32>(image.Stride())))) {
        return false;
    }
    // Releasing the encoder closes the stream; only then has every byte been handed
    // to the writer, which tells whether all of them reached the file.
    encoder.reset();
    return writer.Finish();
}

}  // namespace tallowin::wdp
