#pragma once
// Photo information (EXIF, XMP, IPTC) and the embedded colour profile, read from a
// source photo and written into a converted output. The blocks travel as plain bytes,
// so the library that parses them stays inside photo_metadata.cpp.

#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::metadata {

struct PhotoMetadata {
    std::vector<uint8_t> exif;  // a TIFF structure (byte-order mark and IFDs), no "Exif\0\0" header
    std::string xmp;            // the XMP packet
    std::vector<uint8_t> iptc;  // IPTC-IIM datasets
    std::vector<uint8_t> icc;   // the embedded ICC colour profile

    bool HasInformation() const { return !exif.empty() || !xmp.empty() || !iptc.empty(); }
    bool Empty() const { return !HasInformation() && icc.empty(); }
};

// What the user chose to keep; the engine carries one per run.
struct MetadataOptions {
    bool keepMetadata = true;     // copy EXIF, XMP and IPTC into the output
    bool removeLocation = false;  // leave out GPS positions even when keeping the rest
    bool keepIcc = true;          // embed the source's colour profile (outputs whose pixels stay in it)
};

enum class MetadataStatus {
    Done,            // read or written completely
    Partly,          // written, but the output's format cannot hold some of it (reason names what)
    NothingToDo,     // nothing to read from the source, or nothing asked to be written
    Unsupported,     // the file's format holds no metadata this library can read or write
    Failed,          // the file could not be read or written (reason says why); pixels are untouched
};

struct MetadataResult {
    MetadataStatus status = MetadataStatus::NothingToDo;
    std::string reason;  // empty for Done and NothingToDo

    bool Ok() const { return status == MetadataStatus::Done || status == MetadataStatus::NothingToDo; }
};

struct MetadataRead {
    PhotoMetadata metadata;
    MetadataResult result;
};

// Reads the photo information and colour profile of `sourcePath`. A source without
// any gives NothingToDo; a format with no metadata (BMP, GIF, ...) gives Unsupported.
MetadataRead ReadPhotoMetadata(const std::string& sourcePath);

// The blocks as they belong in an output of `width` x `height` pixels whose pixels are
// already upright: orientation 1, pixel dimensions updated, the EXIF thumbnail and the
// source's raster layout tags dropped, GPS dropped when asked, and only what the
// options keep. For encoders that embed the blocks themselves. Throws nothing: a block
// that cannot be parsed is left out and named in `result`.
PhotoMetadata PrepareForOutput(const PhotoMetadata& source, const MetadataOptions& options, int32_t width,
                               int32_t height, MetadataResult* result = nullptr);

// Writes `metadata`, prepared as above, into the already encoded file at
// `outputFilePath`, in place. Meant for the staged file before it is renamed into
// place; a failure leaves the encoded pixels readable and is a warning, not a lost photo.
MetadataResult WritePhotoMetadata(const std::string& outputFilePath, const PhotoMetadata& metadata,
                                  const MetadataOptions& options);

// Reads `sourcePath` and prepares what the options keep for an output of `width` x
// `height` pixels whose encoder embeds it (AVIF, JPEG XL): the information, and the
// profile when options.keepIcc. A source without any, or of a format without any,
// leaves `out` empty and is NothingToDo.
MetadataResult PrepareForEncoder(const std::string& sourcePath, const MetadataOptions& options, int32_t width,
                                 int32_t height, PhotoMetadata& out);

// Reads `sourcePath` and writes what the options keep into the staged output: the one
// call the conversion makes between encoding and renaming into place. A source
// without information, or of a format without any, is NothingToDo.
MetadataResult CarryPhotoInformation(const std::string& sourcePath, const std::string& outputFilePath,
                                     const MetadataOptions& options);

}  // namespace tallowin::metadata
