// The kind of a source's container, and photo information packed for the trip from a
// decoder helper. HEIF and JPEG XL are read in heif_jxl_metadata.cpp, so that a program
// that reads neither links neither library.
#include "container_metadata.h"

#include <cstdio>
#include <cstring>

namespace tallowin::metadata::detail {
namespace {

constexpr const char* kHeifBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};
constexpr uint8_t kJxlCodestream[2] = {0xFF, 0x0A};
constexpr size_t kMaxReason = 64 * 1024;

uint32_t BigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
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

MetadataRead ReadBlocksHereWithoutHeifJxl(ContainerKind kind, const std::string& path)
{
    switch (kind) {
    case ContainerKind::Heif:
    case ContainerKind::Jxl: {
        MetadataRead read;
        read.result = {MetadataStatus::Unsupported, "reading photo information: HEIF and JPEG XL are not read here"};
        return read;
    }
    case ContainerKind::Jxr: return ReadJxrMetadata(path);
    case ContainerKind::Other: break;
    }
    return ReadExivMetadataHere(path);
}

MetadataRead ReadSourceMetadataHereWithoutHeifJxl(ContainerKind kind, const std::string& path)
{
    MetadataRead read = ReadBlocksHereWithoutHeifJxl(kind, path);
    NormaliseInformation(read);
    return read;
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
