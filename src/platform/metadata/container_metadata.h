#pragma once
// Photo information of a source by the kind of its container. HEIF/AVIF and JPEG XL
// are read through their own libraries: exiv2 0.27 finds nothing in the files libheif
// writes and cannot see a JPEG XL codestream's colour profile.

#include "photo_metadata.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tallowin::metadata::detail {

enum class ContainerKind {
    Other,  // exiv2 reads it
    Heif,  // HEIF, HEIC, AVIF (ISO base media file with an image brand)
    Jxl,  // JPEG XL, bare codestream or box container
    Jxr,  // JPEG XR (HD Photo)
};

// The kind of file whose first bytes are `head`.
ContainerKind KindOf(const uint8_t* head, size_t size);

// The kind of the file at `path` by its first bytes; Other when it cannot be read.
ContainerKind KindOfFile(const std::string& path);

// The decoder adapter that stands for a container of `kind` ("heif", "jxl", "jxr");
// null for Other, whose files go by their sniffed format.
const char* AdapterNameOf(ContainerKind kind);
// The other way: the kind of the files of the adapter `name`, Other for all the rest.
ContainerKind KindOfAdapter(const char* name);

// The photo information of a source of `kind` read in this process: HEIF with libheif
// (the EXIF and XMP blocks of the primary image and its ICC profile, RGB profiles only:
// the decoded pixels are always RGB), JPEG XL with libjxl (the "Exif" and "xml " boxes
// and the profile of the pixels the decoder gives, left empty when they are sRGB),
// JPEG XR with our own reader, everything else with exiv2.
MetadataRead ReadSourceMetadataHere(ContainerKind kind, const std::string& path);

// The same for every kind but HEIF and JPEG XL (Unsupported), without linking libheif
// and libjxl: for the decoder helper that loads only the quicker libraries.
MetadataRead ReadSourceMetadataHereWithoutHeifJxl(ContainerKind kind, const std::string& path);
// Its blocks as the readers give them, not normalised.
MetadataRead ReadBlocksHereWithoutHeifJxl(ContainerKind kind, const std::string& path);

// The blocks of a HEIF or JPEG XL file as their libraries give them, not normalised.
MetadataRead ReadHeifMetadataHere(const std::string& path);
MetadataRead ReadJxlMetadataHere(const std::string& path);

// Only the colour profile of ReadSourceMetadataHere, the information blocks left unparsed.
std::vector<uint8_t> ReadSourceProfileHere(ContainerKind kind, const std::string& path);

// The exiv2 part of the above.
MetadataRead ReadExivMetadataHere(const std::string& path);

// Parses each information block of `read` with exiv2 and writes it back, so that what
// leaves the reading process is exiv2's own serialisation, never the source's bytes;
// a block that cannot be parsed is left out, its reason added. The profile is kept as
// it is. ReadSourceMetadataHere ends with it.
void NormaliseInformation(MetadataRead& read);

// Where reads of photo information go instead of reading here: the codec service sets
// a reader that asks a decoder helper, so that no library parses a source's
// information in the program's own process. Null reads here.
using SourceMetadataReader = MetadataRead (*)(ContainerKind kind, const std::string& path);
void SetSourceMetadataReader(SourceMetadataReader reader);

// A read through the reader set above, or here when none is.
MetadataRead ReadSourceMetadata(ContainerKind kind, const std::string& path);

// A block larger than this is no photo information but a damaged or hostile file.
constexpr size_t kMaxBlock = 64u * 1024 * 1024;

// The first bytes of a JPEG XL file in its box container.
constexpr uint8_t kJxlContainer[12] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};

// Adds `reason` to `result`; the worse status of the two stays.
void AddReason(MetadataResult& result, MetadataStatus status, const std::string& reason);

// The largest packed read: four blocks at their bound and the reason.
constexpr size_t kMaxPackedRead = 4 * (64u * 1024 * 1024) + 64 * 1024 + 64;

// A read as bytes for the helper's reply: status, reason, EXIF, XMP, IPTC and profile,
// each length-prefixed (little-endian 32 bits).
std::vector<uint8_t> PackMetadataRead(const MetadataRead& read);
// The read from `data`; false when the bytes are not exactly such a packing within the
// bounds (a damaged or lying helper), leaving `read` untouched.
bool UnpackMetadataRead(const uint8_t* data, size_t size, MetadataRead& read);

// The TIFF structure of an EXIF block that starts with a 4-byte big-endian offset to
// its TIFF header, as HEIF items and JPEG XL "Exif" boxes store it; empty when the
// offset leads nowhere sound.
std::vector<uint8_t> TiffFromOffsetBlock(const uint8_t* data, size_t size);

// A JPEG XR file (little-endian directory, 0xBC) by its first bytes.
bool IsJxrFile(const uint8_t* head, size_t size);

// The information of a JPEG XR file, read here: its profile, XMP and IPTC, and a TIFF
// structure made of its descriptive tags and EXIF and GPS IFDs.
MetadataRead ReadJxrMetadata(const std::string& path);

// The pixel size of a JPEG XR file, from its codestream's header.
bool JxrPixelSize(const std::string& path, int32_t& width, int32_t& height);

// Writes `information` (prepared for the file, EXIF as a little-endian TIFF structure)
// into the JPEG XR file at `path`: EXIF and GPS IFDs, the descriptive tags of the EXIF
// IFD0, XMP, IPTC and the profile, each in the directory's own tag for it.
MetadataResult WriteJxrInformation(const std::string& path, const PhotoMetadata& information);

}  // namespace tallowin::metadata::detail
