// JPEG/EXIF through libjpeg-turbo: baseline, progressive, arithmetic, greyscale and
// CMYK/YCCK; decoded at the smallest DCT scale that still covers the request, then
// turned upright by the EXIF orientation.
#include "decoder.h"
#include "decoder_support.h"
#include "exif_orientation.h"

#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

namespace tallowin::codec {

namespace {

constexpr int kMaxScans = 100;  // progressive files with more scans are refused
// Huffman-coded data spends at least one bit on every block of a sequential scan or a
// progressive DC scan (the shortest code is one bit long; only later AC scans may cover
// many blocks with one end-of-band run), and the first scan, which the header read
// insists on, is such a scan over every block of at least one component. A file whose
// progression starts elsewhere is damaged and decodes in part. Arithmetic coding can
// spend less, so it is bounded by the working-memory cap alone.
constexpr uint64_t kMinBitsPerBlock = 1;
constexpr size_t kInputBufferSize = 64 * 1024;
constexpr unsigned int kMaxMarkerLength = 0xFFFF;
constexpr JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};
constexpr uint8_t kLostRowGrey = 128;

// Everything one read needs, reached from libjpeg's callbacks through the structs
// that embed libjpeg's own; no global state.
struct JpegContext {
    jpeg_error_mgr err{};
    jpeg_source_mgr src{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    FILE* file = nullptr;
    JOCTET buffer[kInputBufferSize]{};
    bool anyInput = false;
    bool hitEof = false;
    JDIMENSION eofScanline = 0;   // output rows finished when the data ran out
    bool lostData = false;        // the entropy decoder had to invent data
    JDIMENSION lostScanline = 0;  // output rows finished before that
    bool tooManyScans = false;
    uint64_t fileSize = 0;
};

JpegContext& ContextOf(j_common_ptr cinfo) { return *static_cast<JpegContext*>(cinfo->client_data); }

[[noreturn]] void ErrorExit(j_common_ptr cinfo) { std::longjmp(ContextOf(cinfo).jump, 1); }
void OutputMessage(j_common_ptr) {}

// Warnings are not printed. Two of them mean lost data. The entropy decoder running
// into a marker (or our fake end) while it still needed data: the rows from there on
// are made up. A progressive scan that refines coefficients no earlier scan began (the
// first scans are missing): the picture lacks what those scans held. Reading on to the
// end of the file merely to look for a missing end marker raises neither, so a file
// that only lacks its end marker decodes whole.
void EmitMessage(j_common_ptr cinfo, int level) {
    constexpr int kWarning = -1;
    if (level != kWarning) return;
    JpegContext& ctx = ContextOf(cinfo);
    ++cinfo->err->num_warnings;
    const int code = cinfo->err->msg_code;
    if ((code == JWRN_HIT_MARKER || code == JWRN_BOGUS_PROGRESSION) && !ctx.lostData && cinfo->is_decompressor) {
        ctx.lostData = true;
        ctx.lostScanline = reinterpret_cast<j_decompress_ptr>(cinfo)->output_scanline;
    }
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    JpegContext& ctx = ContextOf(reinterpret_cast<j_common_ptr>(cinfo));
    const size_t got = std::fread(ctx.buffer, 1, kInputBufferSize, ctx.file);
    if (got == 0) {
        if (!ctx.anyInput) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // Out of data: remember how far the picture got, then end it with a fake EOI
        // so that libjpeg finishes the rows it has.
        if (!ctx.hitEof) {
            ctx.hitEof = true;
            ctx.eofScanline = cinfo->output_scanline;
        }
        WARNMS(cinfo, JWRN_JPEG_EOF);
        cinfo->src->next_input_byte = kFakeEoi;
        cinfo->src->bytes_in_buffer = sizeof kFakeEoi;
        return TRUE;
    }
    ctx.anyInput = true;
    cinfo->src->next_input_byte = ctx.buffer;
    cinfo->src->bytes_in_buffer = got;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    while (count > static_cast<long>(src->bytes_in_buffer)) {
        count -= static_cast<long>(src->bytes_in_buffer);
        (void)FillInputBuffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

void Progress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxScans) {
        ContextOf(cinfo).tooManyScans = true;
        std::longjmp(ContextOf(cinfo).jump, 1);
    }
}

// Owns the decompressor; destroyed on every way out, including after a longjmp that
// lands in the frame holding it.
class Decompressor {
public:
    Decompressor(JpegContext& ctx, FILE* file) {
        ctx.file = file;
        cinfo_.err = jpeg_std_error(&ctx.err);
        ctx.err.error_exit = ErrorExit;
        ctx.err.output_message = OutputMessage;
        ctx.err.emit_message = EmitMessage;
        cinfo_.client_data = &ctx;
    }
    ~Decompressor() {
        if (created_) jpeg_destroy_decompress(&cinfo_);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    // Must run inside the setjmp frame: creation can fail with an error exit.
    // libjpeg has no backing store here, so arrays beyond max_memory_to_use (the whole
    // coefficient set of progressive and multi-scan files) fail with
    // JERR_NO_BACKING_STORE before they are allocated.
    void Create(JpegContext& ctx, const DecodeLimits& limits) {
        jpeg_create_decompress(&cinfo_);
        created_ = true;
        cinfo_.client_data = &ctx;
        cinfo_.mem->max_memory_to_use = static_cast<long>(std::min<uint64_t>(limits.maxWorkingBytes, LONG_MAX));
        ctx.src.init_source = InitSource;
        ctx.src.fill_input_buffer = FillInputBuffer;
        ctx.src.skip_input_data = SkipInputData;
        ctx.src.resync_to_restart = jpeg_resync_to_restart;
        ctx.src.term_source = TermSource;
        cinfo_.src = &ctx.src;
        ctx.progress.progress_monitor = Progress;
        cinfo_.progress = &ctx.progress;
        jpeg_save_markers(&cinfo_, JPEG_APP0 + 1, kMaxMarkerLength);
    }
    jpeg_decompress_struct& Info() { return cinfo_; }

private:
    jpeg_decompress_struct cinfo_{};
    bool created_ = false;
};

struct HeaderFacts {
    int32_t width = 0;   // as stored
    int32_t height = 0;
    int orientation = 1;
    float dpiX = detail::kDefaultDpi;
    float dpiY = detail::kDefaultDpi;
};

HeaderFacts ReadFacts(jpeg_decompress_struct& cinfo) {
    HeaderFacts facts;
    facts.width = static_cast<int32_t>(cinfo.image_width);
    facts.height = static_cast<int32_t>(cinfo.image_height);
    detail::ExifFacts exif;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && detail::ParseExif(m->data, m->data_length, exif)) break;
    }
    facts.orientation = exif.orientation;
    constexpr UINT8 kDensityDpi = 1;
    constexpr UINT8 kDensityDpcm = 2;
    if (cinfo.saw_JFIF_marker && cinfo.X_density > 0 && cinfo.Y_density > 0 &&
        (cinfo.density_unit == kDensityDpi || cinfo.density_unit == kDensityDpcm)) {
        const double scale = cinfo.density_unit == kDensityDpcm ? detail::kCentimetresPerInch : 1.0;
        facts.dpiX = static_cast<float>(cinfo.X_density * scale);
        facts.dpiY = static_cast<float>(cinfo.Y_density * scale);
    } else if (exif.dpiX > 0) {
        facts.dpiX = exif.dpiX;
        facts.dpiY = exif.dpiY;
    }
    return facts;
}

// The largest reduction (1/8, 1/4, 1/2) whose output still covers the request in both
// directions; the request is in stored orientation here.
unsigned int ChooseScaleDenominator(const jpeg_decompress_struct& cinfo, int32_t minWidth, int32_t minHeight) {
    if (minWidth <= 0 || minHeight <= 0) return 1;
    for (unsigned int denom : {8u, 4u, 2u}) {
        const uint64_t w = (static_cast<uint64_t>(cinfo.image_width) + denom - 1) / denom;
        const uint64_t h = (static_cast<uint64_t>(cinfo.image_height) + denom - 1) / denom;
        if (w >= static_cast<uint64_t>(minWidth) && h >= static_cast<uint64_t>(minHeight)) return denom;
    }
    return 1;
}

// Adobe writers store CMYK inverted (0 = full ink); others store it plainly.
void CmykRowToBgra(const JSAMPLE* src, JDIMENSION width, bool inverted, uint8_t* dst) {
    for (JDIMENSION x = 0; x < width; ++x, src += 4, dst += 4) {
        unsigned c = src[0], m = src[1], y = src[2], k = src[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        dst[0] = static_cast<uint8_t>((y * k + 127) / 255);
        dst[1] = static_cast<uint8_t>((m * k + 127) / 255);
        dst[2] = static_cast<uint8_t>((c * k + 127) / 255);
        dst[3] = 255;
    }
}

void FillRowsGrey(Raster& out, int32_t fromRow) {
    for (int32_t y = fromRow < 0 ? 0 : fromRow; y < out.height; ++y) {
        uint8_t* p = out.Row(y);
        for (int32_t x = 0; x < out.width; ++x, p += 4) {
            p[0] = p[1] = p[2] = kLostRowGrey;
            p[3] = 255;
        }
    }
}

struct FileHandle {
    FILE* file = nullptr;
    explicit FileHandle(const std::string& path) : file(std::fopen(path.c_str(), "rb")) {}
    ~FileHandle() {
        if (file != nullptr) std::fclose(file);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
};

DecodeStatus StatusAfterJump(const JpegContext& ctx) {
    if (ctx.tooManyScans) return DecodeStatus::NotAnImage;
    // The working-memory cap: a valid picture that needs more than the decode may take.
    if (ctx.err.msg_code == JERR_NO_BACKING_STORE) return DecodeStatus::OverLimit;
    if (ctx.err.msg_code == JERR_OUT_OF_MEMORY) return DecodeStatus::OutOfMemory;
    return DecodeStatus::NotAnImage;
}

// The header's checks: the size within the limits, and a file large enough to hold one
// coded bit for every block of its smallest component.
DecodeStatus CheckFrame(const jpeg_decompress_struct& cinfo, const JpegContext& ctx, const DecodeLimits& limits) {
    if (!limits.Admits(cinfo.image_width, cinfo.image_height)) return DecodeStatus::OverLimit;
    if (cinfo.arith_code) return DecodeStatus::Ok;
    uint64_t fewestBlocks = UINT64_MAX;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        const uint64_t blocks = static_cast<uint64_t>(comp.width_in_blocks) * comp.height_in_blocks;
        fewestBlocks = std::min(fewestBlocks, blocks);
    }
    if (fewestBlocks == UINT64_MAX) return DecodeStatus::NotAnImage;
    return detail::DataCanFill(ctx.fileSize * 8, 1, fewestBlocks * kMinBitsPerBlock) ? DecodeStatus::Ok
                                                                                      : DecodeStatus::NotAnImage;
}

// libjpeg reports errors by longjmp back into these frames; every object with a
// destructor is constructed before setjmp in the same frame, so nothing is skipped.
DecodeStatus ReadJpegHeader(const std::string& path, const DecodeLimits& limits, HeaderFacts& facts) {
    FileHandle input(path);
    if (input.file == nullptr) return DecodeStatus::FileError;
    JpegContext ctx;
    if (detail::FileSize(path, ctx.fileSize) != DecodeStatus::Ok) return DecodeStatus::FileError;
    Decompressor decompressor(ctx, input.file);
    if (setjmp(ctx.jump)) return StatusAfterJump(ctx);
    decompressor.Create(ctx, limits);
    jpeg_decompress_struct& cinfo = decompressor.Info();
    jpeg_read_header(&cinfo, TRUE);
    const DecodeStatus checked = CheckFrame(cinfo, ctx, limits);
    if (checked != DecodeStatus::Ok) return checked;
    facts = ReadFacts(cinfo);
    return DecodeStatus::Ok;
}

DecodeStatus DecodeJpeg(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits, Raster& out,
                        int& orientation, std::string& warning) {
    FileHandle input(path);
    if (input.file == nullptr) return DecodeStatus::FileError;
    JpegContext ctx;
    if (detail::FileSize(path, ctx.fileSize) != DecodeStatus::Ok) return DecodeStatus::FileError;
    Decompressor decompressor(ctx, input.file);
    std::vector<JSAMPLE> cmykRow;
    if (setjmp(ctx.jump)) return StatusAfterJump(ctx);
    decompressor.Create(ctx, limits);
    jpeg_decompress_struct& cinfo = decompressor.Info();
    jpeg_read_header(&cinfo, TRUE);
    const DecodeStatus checked = CheckFrame(cinfo, ctx, limits);
    if (checked != DecodeStatus::Ok) return checked;
    orientation = ReadFacts(cinfo).orientation;

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    const bool swap = detail::SwapsSides(orientation);
    cinfo.scale_num = 1;
    cinfo.scale_denom = ChooseScaleDenominator(cinfo, swap ? request.minHeight : request.minWidth,
                                               swap ? request.minWidth : request.minHeight);
    jpeg_start_decompress(&cinfo);
    const DecodeStatus allocated = detail::AllocateRaster(out, cinfo.output_width, cinfo.output_height, limits);
    if (allocated != DecodeStatus::Ok) return allocated;
    if (cmyk) cmykRow.resize(static_cast<size_t>(cinfo.output_width) * 4);

    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* row = out.Row(static_cast<int32_t>(cinfo.output_scanline));
        JSAMPROW target = cmyk ? cmykRow.data() : row;
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) break;
        if (cmyk) CmykRowToBgra(cmykRow.data(), cinfo.output_width, cinfo.saw_Adobe_marker, row);
    }
    jpeg_finish_decompress(&cinfo);

    // The arithmetic decoder pads silently, so there running out of data is the sign.
    const bool lost = ctx.lostData || (ctx.hitEof && cinfo.arith_code);
    if (lost) {
        const auto total = static_cast<int32_t>(cinfo.output_height);
        if (cinfo.progressive_mode) {
            // Every scan covers the whole picture: what arrived is kept, blurred.
            warning = "the file is damaged: the picture is incomplete";
        } else {
            const auto good = static_cast<int32_t>(ctx.lostData ? ctx.lostScanline : ctx.eofScanline);
            FillRowsGrey(out, good);
            warning = "the file is damaged: only " + std::to_string(good) + " of " + std::to_string(total) +
                      " rows could be read";
        }
        return DecodeStatus::Partial;
    }
    return DecodeStatus::Ok;
}

class JpegAdapter final : public Decoder {
public:
    const char* Name() const override { return "jpeg"; }
    SniffMatch Sniff(const uint8_t* head, size_t size) const override {
        return size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF ? SniffMatch::Signature
                                                                                 : SniffMatch::No;
    }
    DecodeStatus ReadHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) const override {
        HeaderFacts facts;
        const DecodeStatus status = ReadJpegHeader(path, limits, facts);
        if (status != DecodeStatus::Ok) return status;
        const bool swap = detail::SwapsSides(facts.orientation);
        info.width = swap ? facts.height : facts.width;
        info.height = swap ? facts.width : facts.height;
        info.dpiX = swap ? facts.dpiY : facts.dpiX;
        info.dpiY = swap ? facts.dpiX : facts.dpiY;
        info.hasAlpha = false;
        return DecodeStatus::Ok;
    }
    DecodeStatus Decode(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits, Raster& out,
                        std::string& warning) const override {
        int orientation = 1;
        const DecodeStatus status = DecodeJpeg(path, request, limits, out, orientation, warning);
        if (status != DecodeStatus::Ok && status != DecodeStatus::Partial) return status;
        const DecodeStatus turned = detail::ApplyOrientation(out, orientation);
        return turned == DecodeStatus::Ok ? status : turned;
    }
};

}  // namespace

const Decoder& JpegDecoder() {
    static const JpegAdapter adapter;
    return adapter;
}

}  // namespace tallowin::codec
