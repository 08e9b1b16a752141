// HEIF/AVIF information through libheif, JPEG XL information from the container's
// boxes and libjxl's view of the codestream's colour. Nothing here decodes pixels.
#include "container_metadata.h"

#include <jxl/decode.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace tallowin::metadata::detail {
namespace {

// The profile is in the codestream's header: no sound file makes libjxl read further.
constexpr size_t kMaxColourHeaderBytes = 64u * 1024 * 1024;
constexpr size_t kReadChunk = 64 * 1024;

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct DecoderDeleter {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

uint32_t BigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// The decoded pixels are RGB, so only an RGB profile describes them.
bool IsRgbProfile(const std::vector<uint8_t>& icc)
{
    return icc.size() >= 20 && std::memcmp(icc.data() + 16, "RGB ", 4) == 0;
}

void Note(MetadataResult& result, const std::string& reason)
{
    if (result.status != MetadataStatus::Failed) {
        result.status = MetadataStatus::Partly;
    }
    result.reason += result.reason.empty() ? reason : "; " + reason;
}

std::string TrimmedPacket(const uint8_t* data, size_t size)
{
    while (size > 0 && data[size - 1] == 0) {
        --size;
    }
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The metadata item `id` of `handle`, or empty (with a note) when it cannot be had.
std::vector<uint8_t> HeifBlock(const heif_image_handle* handle, heif_item_id id, const char* what,
                               MetadataResult& result)
{
    const size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size == 0 || size > kMaxBlock) {
        Note(result, std::string(what) + " left out: its block is " + (size == 0 ? "empty" : "too large"));
        return {};
    }
    std::vector<uint8_t> data(size);
    const heif_error error = heif_image_handle_get_metadata(handle, id, data.data());
    if (error.code != heif_error_Ok) {
        Note(result, std::string(what) + " left out: " + error.message);
        return {};
    }
    return data;
}

}  // namespace

MetadataRead ReadHeifMetadataHere(const std::string& path)
{
    MetadataRead read;
    MetadataResult& result = read.result;
    std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context) {
        result = {MetadataStatus::Failed, "reading photo information: out of memory"};
        return read;
    }
    heif_error error = heif_context_read_from_file(context.get(), path.c_str(), nullptr);
    heif_image_handle* rawHandle = nullptr;
    if (error.code == heif_error_Ok) {
        error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    }
    std::unique_ptr<heif_image_handle, HandleDeleter> handle(rawHandle);
    if (error.code != heif_error_Ok) {
        result = {MetadataStatus::Failed, std::string("reading photo information: ") + error.message};
        return read;
    }

    const int blocks = heif_image_handle_get_number_of_metadata_blocks(handle.get(), nullptr);
    std::vector<heif_item_id> ids(static_cast<size_t>(std::max(blocks, 0)));
    if (blocks > 0) {
        heif_image_handle_get_list_of_metadata_block_IDs(handle.get(), nullptr, ids.data(), blocks);
    }
    for (const heif_item_id id : ids) {
        const std::string type = heif_image_handle_get_metadata_type(handle.get(), id);
        if (type == "Exif" && read.metadata.exif.empty()) {
            const std::vector<uint8_t> block = HeifBlock(handle.get(), id, "EXIF", result);
            read.metadata.exif = TiffFromOffsetBlock(block.data(), block.size());
            if (!block.empty() && read.metadata.exif.empty()) {
                Note(result, "EXIF left out: its block has no TIFF header where it says");
            }
        } else if (type == "mime" && read.metadata.xmp.empty() &&
                   std::string(heif_image_handle_get_metadata_content_type(handle.get(), id)) ==
                       "application/rdf+xml") {
            const std::vector<uint8_t> block = HeifBlock(handle.get(), id, "XMP", result);
            read.metadata.xmp = TrimmedPacket(block.data(), block.size());
        }
    }

    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle.get());
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle.get());
        std::vector<uint8_t> icc(size);
        if (size > 0 && size <= kMaxBlock &&
            heif_image_handle_get_raw_color_profile(handle.get(), icc.data()).code == heif_error_Ok &&
            IsRgbProfile(icc)) {
            read.metadata.icc = std::move(icc);
        }
    }
    if (result.status == MetadataStatus::NothingToDo && !read.metadata.Empty()) {
        result.status = MetadataStatus::Done;
    }
    return read;
}

namespace {

// Walks the container's top-level boxes and keeps the first "Exif" and "xml " boxes.
// A bare codestream has no boxes. Brotli-compressed boxes ("brob") are left out.
void ReadJxlBoxes(std::FILE* file, MetadataRead& read)
{
    uint8_t head[16];
    if (std::fread(head, 1, 12, file) != 12 || std::memcmp(head, kJxlContainer, sizeof kJxlContainer) != 0) {
        return;
    }
    for (;;) {
        if (std::fread(head, 1, 8, file) != 8) {
            return;
        }
        uint64_t size = BigEndian32(head);
        uint64_t headerSize = 8;
        if (size == 1) {
            if (std::fread(head + 8, 1, 8, file) != 8) {
                return;
            }
            size = uint64_t(BigEndian32(head + 8)) << 32 | BigEndian32(head + 12);
            headerSize = 16;
        }
        if (size == 0) {
            return;  // the last box runs to the end of the file: the codestream
        }
        if (size < headerSize) {
            Note(read.result, "the container's boxes are damaged");
            return;
        }
        const uint64_t payload = size - headerSize;
        const bool exif = std::memcmp(head + 4, "Exif", 4) == 0 && read.metadata.exif.empty();
        const bool xmp = std::memcmp(head + 4, "xml ", 4) == 0 && read.metadata.xmp.empty();
        if ((exif || xmp) && payload <= kMaxBlock) {
            std::vector<uint8_t> block(static_cast<size_t>(payload));
            if (std::fread(block.data(), 1, block.size(), file) != block.size()) {
                Note(read.result, std::string(exif ? "EXIF" : "XMP") + " left out: the file ends inside its box");
                return;
            }
            if (exif) {
                read.metadata.exif = TiffFromOffsetBlock(block.data(), block.size());
                if (read.metadata.exif.empty()) {
                    Note(read.result, "EXIF left out: its box has no TIFF header where it says");
                }
            } else {
                read.metadata.xmp = TrimmedPacket(block.data(), block.size());
            }
            continue;
        }
        if (payload > static_cast<uint64_t>(INT64_MAX) || fseeko(file, static_cast<off_t>(payload), SEEK_CUR) != 0) {
            return;
        }
    }
}

// sRGB, or sRGB's primaries and white with a plain 1/2.2 gamma: what a PNG with the
// gAMA chunk many programs write for sRGB pictures becomes in cjxl. The PNG reader
// takes such a file as sRGB, and so does this one.
bool IsSrgb(const JxlColorEncoding& encoding)
{
    if (encoding.color_space != JXL_COLOR_SPACE_RGB || encoding.white_point != JXL_WHITE_POINT_D65 ||
        encoding.primaries != JXL_PRIMARIES_SRGB) {
        return false;
    }
    return encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB ||
        (encoding.transfer_function == JXL_TRANSFER_FUNCTION_GAMMA && std::abs(encoding.gamma - 1 / 2.2) < 0.0005);
}

// The profile of the pixels libjxl decodes (its "data" colour), read from the
// codestream's header only. Grey pictures are decoded to RGB, so they keep none.
void ReadJxlProfile(std::FILE* file, MetadataRead& read)
{
    std::unique_ptr<JxlDecoder, DecoderDeleter> decoder(JxlDecoderCreate(nullptr));
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_COLOR_ENCODING) != JXL_DEC_SUCCESS) {
        Note(read.result, "colour profile left out: libjxl could not start");
        return;
    }
    std::vector<uint8_t> buffer;
    for (;;) {
        const size_t kept = buffer.size();
        if (kept + kReadChunk > kMaxColourHeaderBytes) {
            Note(read.result, "colour profile left out: the codestream's header was not found");
            return;
        }
        buffer.resize(kept + kReadChunk);
        const size_t got = std::fread(buffer.data() + kept, 1, kReadChunk, file);
        buffer.resize(kept + got);
        if (JxlDecoderSetInput(decoder.get(), buffer.data(), buffer.size()) != JXL_DEC_SUCCESS) {
            return;
        }
        if (got == 0) {
            JxlDecoderCloseInput(decoder.get());
        }
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        const size_t unused = JxlDecoderReleaseInput(decoder.get());
        if (status == JXL_DEC_COLOR_ENCODING) {
            break;
        }
        if (status != JXL_DEC_NEED_MORE_INPUT || got == 0) {
            Note(read.result, "colour profile left out: the codestream's header is damaged");
            return;
        }
        buffer.erase(buffer.begin(), buffer.end() - static_cast<std::ptrdiff_t>(unused));
    }
    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) ==
            JXL_DEC_SUCCESS &&
        (IsSrgb(encoding) || encoding.color_space == JXL_COLOR_SPACE_GRAY)) {
        return;
    }
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS ||
        size == 0 || size > kMaxBlock) {
        return;
    }
    std::vector<uint8_t> icc(size);
    if (JxlDecoderGetColorAsICCProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc.data(), size) ==
            JXL_DEC_SUCCESS &&
        IsRgbProfile(icc)) {
        read.metadata.icc = std::move(icc);
    }
}

}  // namespace

MetadataRead ReadJxlMetadataHere(const std::string& path)
{
    MetadataRead read;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        read.result = {MetadataStatus::Failed, "reading photo information: the file cannot be opened"};
        return read;
    }
    ReadJxlBoxes(file.get(), read);
    std::rewind(file.get());
    ReadJxlProfile(file.get(), read);
    if (read.result.status == MetadataStatus::NothingToDo && !read.metadata.Empty()) {
        read.result.status = MetadataStatus::Done;
    }
    return read;
}

}  // namespace tallowin::metadata::detail
