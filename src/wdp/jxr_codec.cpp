#include "jxr_codec.h"

#include "jxr_container.h"
#include "jxr_file_stream.h"

#include <algorithm>
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

// How the converter's output bytes become B, G, R.
enum class Layout { Bgr24, Rgb24, Bgrx32, Rgbx32, Gray8 };

struct Target {
    const PKPixelFormatGUID* format;
    Layout layout;
};

// The converter does single steps only, so try the targets in turn: most formats reach
// 24bppBGR directly; 48-bit and some others stop at 24bppRGB; alpha formats at 32-bit;
// 16-bit grey at 8-bit grey.
constexpr Target kTargets[] = {
    {&GUID_PKPixelFormat24bppBGR, Layout::Bgr24},
    {&GUID_PKPixelFormat24bppRGB, Layout::Rgb24},
    {&GUID_PKPixelFormat32bppBGR, Layout::Bgrx32},
    {&GUID_PKPixelFormat32bppBGRA, Layout::Bgrx32},
    {&GUID_PKPixelFormat32bppRGBA, Layout::Rgbx32},
    {&GUID_PKPixelFormat8bppGray, Layout::Gray8},
};

size_t BytesPerPixel(Layout layout) {
    switch (layout) {
        case Layout::Bgrx32: case Layout::Rgbx32: return 4;
        case Layout::Gray8: return 1;
        case Layout::Bgr24: case Layout::Rgb24: return 3;
    }
    return 4;
}

// Bits per pixel of the decoder's own format; the converter works in place, so the
// buffer must hold a row of that format as well as a row of the target.
bool SourceBitsPerPixel(const PKPixelFormatGUID& format, size_t& bits) {
    PKPixelInfo info{};
    info.pGUIDPixFmt = &format;
    if (Failed(PixelFormatLookup(&info, LOOKUP_FORWARD))) return false;
    bits = info.cbitUnit;
    return bits > 0;
}

ConverterPtr CreateConverter(PKImageDecode* decoder, Layout& layout) {
    for (const Target& target : kTargets) {
        PKFormatConverter* raw = nullptr;
        if (Failed(PKCodecFactory_CreateFormatConverter(&raw))) return nullptr;
        ConverterPtr converter(raw);
        if (!Failed(converter->Initialize(converter.get(), decoder, nullptr, *target.format))) {
            layout = target.layout;
            return converter;
        }
    }
    return nullptr;
}

// Packs a converted row into B, G, R. The buffer's stride is at least the packed
// stride, so `dst` never lies after `src` and the rows of one buffer can be packed in
// place, front to back.
void PackRow(const uint8_t* src, Layout layout, int32_t width, uint8_t* dst) {
    switch (layout) {
        case Layout::Bgr24:
            std::memmove(dst, src, static_cast<size_t>(width) * 3);
            break;
        case Layout::Rgb24:
            for (int32_t x = 0; x < width; ++x, src += 3, dst += 3) {
                const uint8_t red = src[0];
                dst[1] = src[1];
                dst[0] = src[2];
                dst[2] = red;
            }
            break;
        case Layout::Bgrx32:
            for (int32_t x = 0; x < width; ++x, src += 4, dst += 3) std::memmove(dst, src, 3);
            break;
        case Layout::Rgbx32:
            for (int32_t x = 0; x < width; ++x, src += 4, dst += 3) {
                const uint8_t red = src[0];
                const uint8_t green = src[1];
                dst[0] = src[2];
                dst[1] = green;
                dst[2] = red;
            }
            break;
        case Layout::Gray8:
            // The only layout that grows: the row is copied out first, as its packed
            // form may reach over source bytes not yet read.
            {
                const std::vector<uint8_t> grey(src, src + width);
                for (int32_t x = 0; x < width; ++x) dst[x * 3] = dst[x * 3 + 1] = dst[x * 3 + 2] = grey[x];
            }
            break;
    }
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

}  // namespace

JxrDecodeResult DecodeJxr(const std::vector<uint8_t>& bytes, BgrImage& image) {
    JxrLayout layout;
    const ContainerCheck check = CheckJxrContainer(bytes.data(), bytes.size(), layout);
    if (check != ContainerCheck::Ok) return FromContainerCheck(check);

    // A memory stream bounds every read libjxr makes to the file's bytes. The stream
    // never writes, so handing it the const buffer is safe.
    WMPStream* rawStream = nullptr;
    if (Failed(CreateWS_Memory(&rawStream, const_cast<uint8_t*>(bytes.data()), bytes.size()))) {
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
    if (!SourceBitsPerPixel(sourceFormat, sourceBits)) return JxrDecodeResult::NotJxr;
    Layout targetLayout = Layout::Bgr24;
    ConverterPtr converter = CreateConverter(decoder.get(), targetLayout);
    if (!converter) return JxrDecodeResult::NotJxr;

    const size_t sourceStride = (sourceBits * static_cast<size_t>(width) + 7) / 8;
    const size_t packedStride = static_cast<size_t>(width) * 3;
    // libjxr walks rows in units of the pixel's sample type (16-bit grey, 32-bit float),
    // so the stride must be a multiple of every sample size.
    constexpr size_t kStrideAlignment = 16;
    const size_t widest = std::max({sourceStride, BytesPerPixel(targetLayout) * static_cast<size_t>(width), packedStride});
    const size_t stride = (widest + kStrideAlignment - 1) / kStrideAlignment * kStrideAlignment;
    // One buffer serves the decoder, the converter and the packed result.
    std::vector<uint8_t> buffer;
    try {
        buffer.assign(stride * static_cast<size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        return JxrDecodeResult::OutOfMemory;
    }

    const PKRect all{0, 0, width, height};
    if (Failed(converter->Copy(converter.get(), &all, buffer.data(), static_cast<U32>(stride)))) {
        return JxrDecodeResult::NotJxr;
    }
    for (int32_t y = 0; y < height; ++y) {
        PackRow(&buffer[static_cast<size_t>(y) * stride], targetLayout, width, &buffer[static_cast<size_t>(y) * packedStride]);
    }
    buffer.resize(packedStride * static_cast<size_t>(height));
    image.pixels = std::move(buffer);
    image.width = width;
    image.height = height;

    Float dpiX = 0;
    Float dpiY = 0;
    if (!Failed(decoder->GetResolution(decoder.get(), &dpiX, &dpiY))) {
        if (dpiX > 0) image.dpiX = dpiX;
        if (dpiY > 0) image.dpiY = dpiY;
    }
    // The converter refers to the decoder: release it first.
    converter.reset();
    decoder.reset();
    return JxrDecodeResult::Ok;
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
