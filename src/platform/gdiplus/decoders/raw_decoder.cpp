// Camera RAW through libraw (DNG, CR2, CR3, NEF, ARW, ORF, RW2, RAF). The camera's
// embedded JPEG preview is used when it covers the request; otherwise the sensor data
// is demosaiced, at half size when that still covers the request. The camera's
// orientation turns the result upright.
#include "decoder.h"
#include "decoder_support.h"
#include "function_adapter.h"
#include "exif_orientation.h"

#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <libraw/libraw.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

namespace tallowin::codec {

namespace {

// Signatures of the RAW formats that do not start like a TIFF file.
constexpr char kRafSignature[] = "FUJIFILMCCD-RAW";
constexpr size_t kFtypOffset = 4;
constexpr size_t kMajorBrandOffset = 8;
constexpr size_t kCr2MarkerOffset = 8;  // "CR" after the TIFF header of a CR2

// TIFF tags that tell a camera's RAW from a plain TIFF.
constexpr uint16_t kTagNewSubfileType = 0x00FE;
constexpr uint16_t kTagMake = 0x010F;
constexpr uint16_t kTagSubIfds = 0x014A;
constexpr uint16_t kTagDngVersion = 0xC612;
constexpr uint32_t kReducedResolution = 1;  // NewSubfileType bit: a preview of another image
constexpr size_t kTiffEntryBytes = 12;

// libraw's flip code (bit 0 mirror left-right, bit 1 mirror top-bottom, bit 2 swap
// the axes) as the EXIF orientation that shows the picture upright.
constexpr int kOrientationOfFlip[8] = {1, 2, 4, 3, 5, 8, 6, 7};

uint16_t Rd16(const uint8_t* p, bool little) { return little ? detail::Le16(p) : static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t Rd32(const uint8_t* p, bool little) {
    return little ? detail::Le32(p)
                  : static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                        static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// A TIFF file whose first directory lies within `head` and marks a camera RAW: a DNG
// version, or a camera make together with sub-images or a reduced-size first image
// (the preview cameras put in front of the sensor data).
bool TiffMarksRaw(const uint8_t* head, size_t size) {
    if (size < 8) return false;
    const bool little = head[0] == 'I';
    if (!(little && std::memcmp(head, "II*\0", 4) == 0) && !(!little && std::memcmp(head, "MM\0*", 4) == 0)) return false;
    const uint32_t ifd = Rd32(head + 4, little);
    if (!detail::InBounds(size, ifd, 2)) return false;
    const uint16_t count = Rd16(head + ifd, little);
    bool make = false;
    bool subImages = false;
    bool reduced = false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = ifd + 2 + static_cast<uint64_t>(i) * kTiffEntryBytes;
        if (!detail::InBounds(size, at, kTiffEntryBytes)) break;
        const uint8_t* entry = head + at;
        const uint16_t tag = Rd16(entry, little);
        if (tag == kTagDngVersion) return true;
        if (tag == kTagMake) make = true;
        if (tag == kTagSubIfds) subImages = true;
        if (tag == kTagNewSubfileType) {
            const uint16_t type = Rd16(entry + 2, little);
            constexpr uint16_t kTypeLong = 4;
            const uint32_t value = type == kTypeLong ? Rd32(entry + 8, little) : Rd16(entry + 8, little);
            reduced = (value & kReducedResolution) != 0;
        }
    }
    return make && (subImages || reduced);
}

// libraw's handle; also records whether libraw met damaged data on the way.
struct RawHandle {
    libraw_data_t* data = nullptr;
    bool damaged = false;
    RawHandle() : data(libraw_init(0)) {}
    ~RawHandle() {
        if (data != nullptr) libraw_close(data);
    }
    RawHandle(const RawHandle&) = delete;
    RawHandle& operator=(const RawHandle&) = delete;
};

void OnDataError(void* context, const char*, const int) { static_cast<RawHandle*>(context)->damaged = true; }
void OnMemoryError(void*, const char*, const char*) {}

DecodeStatus StatusFromLibraw(int code) {
    switch (code) {
        case LIBRAW_SUCCESS: return DecodeStatus::Ok;
        case LIBRAW_UNSUFFICIENT_MEMORY:
        case LIBRAW_MEMPOOL_OVERFLOW: return DecodeStatus::OutOfMemory;
        case LIBRAW_TOO_BIG: return DecodeStatus::OverLimit;
        case LIBRAW_IO_ERROR: return DecodeStatus::NotAnImage;  // libraw says so for a short file too
        default: return DecodeStatus::NotAnImage;
    }
}

// Opens the file and reads its sizes, without touching the sensor data.
DecodeStatus Open(const std::string& path, RawHandle& raw) {
    if (FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        return DecodeStatus::FileError;
    }
    if (raw.data == nullptr) return DecodeStatus::OutOfMemory;
    libraw_set_dataerror_handler(raw.data, OnDataError, &raw);
    libraw_set_memerror_handler(raw.data, OnMemoryError, nullptr);
    const DecodeStatus status = StatusFromLibraw(libraw_open_file(raw.data, path.c_str()));
    if (status != DecodeStatus::Ok) return status;
    const libraw_image_sizes_t& sizes = raw.data->sizes;
    if (sizes.width == 0 || sizes.height == 0) return DecodeStatus::NotAnImage;
    if (!WithinLimits(sizes.raw_width, sizes.raw_height) || !WithinLimits(sizes.width, sizes.height))
        return DecodeStatus::OverLimit;
    return DecodeStatus::Ok;
}

int OrientationOf(const RawHandle& raw) { return kOrientationOfFlip[raw.data->sizes.flip & 7]; }

// ---- the embedded preview, decoded from memory by libjpeg ----

struct JpegErrors {
    jpeg_error_mgr base{};
    std::jmp_buf jump{};
};
[[noreturn]] void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }
// Nothing is printed; warnings (level -1) are counted, since a preview that needed
// one is not used.
void JpegMessage(j_common_ptr info, int level) {
    constexpr int kWarning = -1;
    if (level == kWarning) ++info->err->num_warnings;
}
void JpegOutput(j_common_ptr) {}

struct JpegDecompressor {
    jpeg_decompress_struct info{};
    bool created = false;
    ~JpegDecompressor() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

// Decodes a JPEG held in memory at the smallest DCT scale that still covers
// minWidth x minHeight (stored orientation). Any damage fails the decode: the caller
// then falls back to the sensor data.
DecodeStatus DecodeJpegFromMemory(const uint8_t* data, size_t size, int32_t minWidth, int32_t minHeight, Raster& out) {
    JpegDecompressor jpeg;
    JpegErrors errors;
    jpeg.info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JpegErrorExit;
    errors.base.emit_message = JpegMessage;
    errors.base.output_message = JpegOutput;
    if (setjmp(errors.jump)) {
        out = Raster{};
        return DecodeStatus::NotAnImage;
    }
    jpeg_create_decompress(&jpeg.info);
    jpeg.created = true;
    jpeg_mem_src(&jpeg.info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&jpeg.info, TRUE);
    if (!WithinLimits(jpeg.info.image_width, jpeg.info.image_height)) return DecodeStatus::OverLimit;
    jpeg.info.out_color_space = JCS_EXT_BGRA;
    jpeg.info.scale_num = 1;
    jpeg.info.scale_denom = 1;
    for (unsigned int denom : {8u, 4u, 2u}) {
        const uint64_t w = (static_cast<uint64_t>(jpeg.info.image_width) + denom - 1) / denom;
        const uint64_t h = (static_cast<uint64_t>(jpeg.info.image_height) + denom - 1) / denom;
        if (w >= static_cast<uint64_t>(minWidth) && h >= static_cast<uint64_t>(minHeight)) {
            jpeg.info.scale_denom = denom;
            break;
        }
    }
    jpeg_start_decompress(&jpeg.info);
    const DecodeStatus allocated = detail::AllocateRaster(out, jpeg.info.output_width, jpeg.info.output_height);
    if (allocated != DecodeStatus::Ok) return allocated;
    while (jpeg.info.output_scanline < jpeg.info.output_height) {
        JSAMPROW row = out.Row(static_cast<int32_t>(jpeg.info.output_scanline));
        if (jpeg_read_scanlines(&jpeg.info, &row, 1) != 1) break;
    }
    // A preview that ran short is not worth showing when the sensor data is there.
    if (jpeg.info.output_scanline < jpeg.info.output_height || jpeg.info.err->num_warnings > 0) {
        out = Raster{};
        return DecodeStatus::NotAnImage;
    }
    jpeg_finish_decompress(&jpeg.info);
    return DecodeStatus::Ok;
}

// The preview when it is a JPEG of at least need x need (stored orientation).
bool DecodePreview(RawHandle& raw, int32_t needWidth, int32_t needHeight, Raster& out) {
    if (libraw_unpack_thumb(raw.data) != LIBRAW_SUCCESS) return false;
    const libraw_thumbnail_t& thumb = raw.data->thumbnail;
    if (thumb.tformat != LIBRAW_THUMBNAIL_JPEG || thumb.thumb == nullptr || thumb.tlength == 0) return false;
    if (thumb.twidth < needWidth || thumb.theight < needHeight) return false;
    Raster preview;
    if (DecodeJpegFromMemory(reinterpret_cast<const uint8_t*>(thumb.thumb), thumb.tlength, needWidth, needHeight,
                             preview) != DecodeStatus::Ok)
        return false;
    // The stored preview size may be a guess; check what was decoded.
    if (preview.width < needWidth || preview.height < needHeight) return false;
    out = std::move(preview);
    return true;
}

// ---- the sensor data ----

struct ProcessedImageDeleter {
    void operator()(libraw_processed_image_t* image) const { libraw_dcraw_clear_mem(image); }
};

DecodeStatus Demosaic(RawHandle& raw, bool halfSize, Raster& out) {
    libraw_output_params_t& params = raw.data->params;
    params.half_size = halfSize ? 1 : 0;
    params.use_camera_wb = 1;
    params.output_color = 1;  // sRGB
    params.output_bps = 8;
    params.user_flip = 0;     // we turn the picture ourselves, as for every format
    DecodeStatus status = StatusFromLibraw(libraw_unpack(raw.data));
    if (status != DecodeStatus::Ok) return status;
    status = StatusFromLibraw(libraw_dcraw_process(raw.data));
    if (status != DecodeStatus::Ok) return status;
    int error = LIBRAW_SUCCESS;
    std::unique_ptr<libraw_processed_image_t, ProcessedImageDeleter> image(
        libraw_dcraw_make_mem_image(raw.data, &error));
    if (!image) return error == LIBRAW_SUCCESS ? DecodeStatus::NotAnImage : StatusFromLibraw(error);
    if (image->type != LIBRAW_IMAGE_BITMAP || image->bits != 8 || (image->colors != 3 && image->colors != 1))
        return DecodeStatus::NotAnImage;
    const size_t needed = static_cast<size_t>(image->width) * image->height * image->colors;
    if (image->data_size < needed) return DecodeStatus::NotAnImage;
    status = detail::AllocateRaster(out, image->width, image->height);
    if (status != DecodeStatus::Ok) return status;
    const uint8_t* src = image->data;
    for (int32_t y = 0; y < out.height; ++y) {
        uint8_t* dst = out.Row(y);
        for (int32_t x = 0; x < out.width; ++x, dst += 4, src += image->colors) {
            const bool grey = image->colors == 1;
            dst[0] = src[grey ? 0 : 2];
            dst[1] = src[grey ? 0 : 1];
            dst[2] = src[0];
            dst[3] = 255;
        }
    }
    return DecodeStatus::Ok;
}

}  // namespace

bool LooksLikeRaw(const uint8_t* head, size_t size) {
    if (head == nullptr) return false;
    if (size >= sizeof kRafSignature - 1 && std::memcmp(head, kRafSignature, sizeof kRafSignature - 1) == 0) return true;
    if (size >= 4 && (std::memcmp(head, "IIRO", 4) == 0 || std::memcmp(head, "IIRS", 4) == 0 ||
                      std::memcmp(head, "MMOR", 4) == 0 || std::memcmp(head, "IIU\0", 4) == 0))
        return true;
    if (size >= kMajorBrandOffset + 4 && std::memcmp(head + kFtypOffset, "ftyp", 4) == 0 &&
        std::memcmp(head + kMajorBrandOffset, "crx ", 4) == 0)
        return true;
    if (size >= kCr2MarkerOffset + 2 && std::memcmp(head, "II*\0", 4) == 0 &&
        std::memcmp(head + kCr2MarkerOffset, "CR", 2) == 0)
        return true;
    return TiffMarksRaw(head, size);
}

DecodeStatus RawReadHeader(const std::string& path, ImageInfo& info) {
    RawHandle raw;
    const DecodeStatus status = Open(path, raw);
    if (status != DecodeStatus::Ok) return status;
    const bool swap = detail::SwapsSides(OrientationOf(raw));
    info.width = swap ? raw.data->sizes.height : raw.data->sizes.width;
    info.height = swap ? raw.data->sizes.width : raw.data->sizes.height;
    info.hasAlpha = false;
    return DecodeStatus::Ok;
}

DecodeStatus RawDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning) {
    RawHandle raw;
    DecodeStatus status = Open(path, raw);
    if (status != DecodeStatus::Ok) return status;
    const int orientation = OrientationOf(raw);
    const bool swap = detail::SwapsSides(orientation);
    const int32_t fullWidth = raw.data->sizes.width;
    const int32_t fullHeight = raw.data->sizes.height;
    // What must be covered, in the sensor's orientation; no request means full size.
    const bool sized = request.minWidth > 0 && request.minHeight > 0;
    const int32_t needWidth = sized ? (swap ? request.minHeight : request.minWidth) : fullWidth;
    const int32_t needHeight = sized ? (swap ? request.minWidth : request.minHeight) : fullHeight;

    if (!DecodePreview(raw, needWidth, needHeight, out)) {
        const bool halfSize = fullWidth / 2 >= needWidth && fullHeight / 2 >= needHeight;
        status = Demosaic(raw, halfSize, out);
        if (status != DecodeStatus::Ok) return status;
        if (raw.damaged) {
            warning = "the file is damaged: parts of the picture could not be read";
            status = DecodeStatus::Partial;
        }
    }
    const DecodeStatus turned = detail::ApplyOrientation(out, orientation);
    return turned == DecodeStatus::Ok ? status : turned;
}

const Decoder& RawDecoder() {
    static const FunctionAdapter<LooksLikeRaw, RawReadHeader, RawDecode> adapter("raw");
    return adapter;
}

}  // namespace tallowin::codec
