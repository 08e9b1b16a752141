// HEIF/AVIF information through libheif, JPEG XL information from the container's
// boxes and libjxl's view of the codestream's colour. Nothing here decodes pixels.
#include "container_metadata.h"

#include <jxl/decode.h>
#include <libheif/heif.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace tallowin::metadata::detail {
namespace {

constexpr const char* kHeifBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};
constexpr uint8_t kJxlCodestream[2] = {0xFF, 0x0A};
constexpr uint8_t kJxlContainer[12] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
// A block larger than this is no photo information but a damaged or hostile file.
constexpr size_t kMaxBlock = 64u * 1024 * 1024;
// The profile is in the codestream's header: no sound file makes libjxl read further.
constexpr size_t kMaxColourHeaderBytes = 64u * 1024 * 1024;
constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kMaxReason = 64 * 1024;

std::atomic<SourceMetadataReader> g_reader{nullptr};

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

ContainerKind KindOfFile(const std::string& path)
{
    uint8_t head[16] = {};
    size_t size = 0;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        size = std::fread(head, 1, sizeof head, file);
        std::fclose(file);
    }
    return KindOf(head, size);
}

const char* AdapterNameOf(ContainerKind kind)
{
    switch (kind) {
    case ContainerKind::Heif: return "heif";
    case ContainerKind::Jxl: return "jxl";
    case ContainerKind::Jxr: return "jxr";
    case ContainerKind::Other: break;
    }
    return nullptr;
}

ContainerKind KindOfAdapter(const char* name)
{
    for (const ContainerKind kind : {ContainerKind::Heif, ContainerKind::Jxl, ContainerKind::Jxr}) {
        if (std::strcmp(name, AdapterNameOf(kind)) == 0) return kind;
    }
    return ContainerKind::Other;
}

ContainerKind KindOf(const uint8_t* head, size_t size)
{
    if ((size >= sizeof kJxlCodestream && std::memcmp(head, kJxlCodestream, sizeof kJxlCodestream) == 0) ||
        (size >= sizeof kJxlContainer && std::memcmp(head, kJxlContainer, sizeof kJxlContainer) == 0)) {
        return ContainerKind::Jxl;
    }
    if (IsJxrFile(head, size)) {
        return ContainerKind::Jxr;
    }
    if (size >= 12 && std::memcmp(head + 4, "ftyp", 4) == 0) {
        for (const char* brand : kHeifBrands) {
            if (std::memcmp(head + 8, brand, 4) == 0) {
                return ContainerKind::Heif;
            }
        }
    }
    return ContainerKind::Other;
}

std::vector<uint8_t> TiffFromOffsetBlock(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return {};
    }
    const uint64_t offset = BigEndian32(data);
    if (offset > size - 4 || size - 4 - offset < 8) {
        return {};
    }
    const uint8_t* tiff = data + 4 + offset;
    const bool intel = tiff[0] == 'I' && tiff[1] == 'I' && tiff[2] == 42 && tiff[3] == 0;
    const bool motorola = tiff[0] == 'M' && tiff[1] == 'M' && tiff[2] == 0 && tiff[3] == 42;
    if (!intel && !motorola) {
        return {};
    }
    return std::vector<uint8_t>(tiff, data + size);
}

namespace {

MetadataRead ReadHeifHere(const std::string& path)
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

MetadataRead ReadJxlHere(const std::string& path)
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

void PutLength(std::vector<uint8_t>& out, size_t length)
{
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(length >> shift));
    }
}

void PutBlock(std::vector<uint8_t>& out, const void* data, size_t length)
{
    PutLength(out, length);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + length);
}

// Reads packed fields front to back; every length is checked against what is left.
struct Unpacker {
    const uint8_t* at;
    size_t left;

    bool Length(size_t bound, size_t& length)
    {
        if (left < 4) {
            return false;
        }
        length = size_t(at[0]) | size_t(at[1]) << 8 | size_t(at[2]) << 16 | size_t(at[3]) << 24;
        at += 4;
        left -= 4;
        return length <= bound && length <= left;
    }
    template <typename Container> bool Block(size_t bound, Container& out)
    {
        size_t length = 0;
        if (!Length(bound, length)) {
            return false;
        }
        out.assign(at, at + length);
        at += length;
        left -= length;
        return true;
    }
};

}  // namespace

namespace {

// The blocks as each container's reader gives them.
MetadataRead ReadBlocksHere(ContainerKind kind, const std::string& path)
{
    switch (kind) {
    case ContainerKind::Heif: return ReadHeifHere(path);
    case ContainerKind::Jxl: return ReadJxlHere(path);
    case ContainerKind::Jxr: return ReadJxrMetadata(path);
    case ContainerKind::Other: break;
    }
    return ReadExivMetadataHere(path);
}

}  // namespace

MetadataRead ReadSourceMetadataHere(ContainerKind kind, const std::string& path)
{
    MetadataRead read = ReadBlocksHere(kind, path);
    NormaliseInformation(read);
    return read;
}

std::vector<uint8_t> ReadSourceProfileHere(ContainerKind kind, const std::string& path)
{
    return ReadBlocksHere(kind, path).metadata.icc;
}

void SetSourceMetadataReader(SourceMetadataReader reader) { g_reader.store(reader, std::memory_order_release); }

MetadataRead ReadSourceMetadata(ContainerKind kind, const std::string& path)
{
    const SourceMetadataReader reader = g_reader.load(std::memory_order_acquire);
    return reader != nullptr ? reader(kind, path) : ReadSourceMetadataHere(kind, path);
}

std::vector<uint8_t> PackMetadataRead(const MetadataRead& read)
{
    const std::string& reason = read.result.reason;
    const size_t reasonLength = std::min(reason.size(), kMaxReason);
    std::vector<uint8_t> out;
    out.reserve(24 + reasonLength + read.metadata.exif.size() + read.metadata.xmp.size() + read.metadata.iptc.size() +
                read.metadata.icc.size());
    PutLength(out, static_cast<size_t>(read.result.status));
    PutBlock(out, reason.data(), reasonLength);
    PutBlock(out, read.metadata.exif.data(), std::min(read.metadata.exif.size(), kMaxBlock));
    PutBlock(out, read.metadata.xmp.data(), std::min(read.metadata.xmp.size(), kMaxBlock));
    PutBlock(out, read.metadata.iptc.data(), std::min(read.metadata.iptc.size(), kMaxBlock));
    PutBlock(out, read.metadata.icc.data(), std::min(read.metadata.icc.size(), kMaxBlock));
    return out;
}

bool UnpackMetadataRead(const uint8_t* data, size_t size, MetadataRead& read)
{
    if (data == nullptr || size > kMaxPackedRead) {
        return false;
    }
    Unpacker in{data, size};
    size_t status = 0;
    MetadataRead got;
    if (!in.Length(static_cast<size_t>(MetadataStatus::Failed), status) || !in.Block(kMaxReason, got.result.reason) ||
        !in.Block(kMaxBlock, got.metadata.exif) || !in.Block(kMaxBlock, got.metadata.xmp) ||
        !in.Block(kMaxBlock, got.metadata.iptc) || !in.Block(kMaxBlock, got.metadata.icc) || in.left != 0) {
        return false;
    }
    got.result.status = static_cast<MetadataStatus>(status);
    read = std::move(got);
    return true;
}

}  // namespace tallowin::metadata::detail
