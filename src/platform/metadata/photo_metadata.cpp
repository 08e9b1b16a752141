// Photo information through exiv2. exiv2 reports every failure by throwing; each entry
// point here catches and turns the exception into a status with its message.
#include "photo_metadata.h"

#include "container_metadata.h"
#include "png_profile_name.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string_view>

namespace tallowin::metadata {

using detail::AddReason;

namespace {

// The XMP toolkit inside exiv2 keeps global state: it is set up once, and every call
// into it is serialised through this lock.
std::mutex g_xmpMutex;

void XmpLock(void* data, bool lock)
{
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock) {
        mutex->lock();
    } else {
        mutex->unlock();
    }
}

void InitialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(XmpLock, &g_xmpMutex);
        // HEIF, AVIF and JPEG XL sources are read through the ISO media container reader,
        // which exiv2 leaves off unless asked.
        Exiv2::enableBMFF(true);
        // Failures come back as exceptions and end up in a result; warnings on the
        // standard error would only interleave with the batch tool's own output.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    });
}

// Tags of IFD0 that describe how the source stored its raster; the output's encoder
// writes its own, and a copied strip offset or subfile type would misdescribe it.
constexpr std::array<std::string_view, 27> kRasterLayoutTags = {
    "Exif.Image.NewSubfileType",  "Exif.Image.SubfileType",       "Exif.Image.ImageWidth",
    "Exif.Image.ImageLength",     "Exif.Image.BitsPerSample",     "Exif.Image.Compression",
    "Exif.Image.PhotometricInterpretation", "Exif.Image.FillOrder", "Exif.Image.StripOffsets",
    "Exif.Image.SamplesPerPixel", "Exif.Image.RowsPerStrip",      "Exif.Image.StripByteCounts",
    "Exif.Image.PlanarConfiguration", "Exif.Image.Predictor",     "Exif.Image.TileWidth",
    "Exif.Image.TileLength",      "Exif.Image.TileOffsets",       "Exif.Image.TileByteCounts",
    "Exif.Image.SubIFDs",         "Exif.Image.ExtraSamples",      "Exif.Image.SampleFormat",
    "Exif.Image.JPEGTables",      "Exif.Image.JPEGInterchangeFormat", "Exif.Image.JPEGInterchangeFormatLength",
    "Exif.Image.InterColorProfile", "Exif.Image.DNGVersion",      "Exif.Image.DNGBackwardVersion",
};

// IFDs other than IFD0 and its sub-IFDs hold other pictures (the thumbnail, a RAW's
// full-size or reduced images), none of which the output contains.
bool DescribesAnotherPicture(const std::string& group)
{
    return group == "Thumbnail" || group.rfind("SubImage", 0) == 0 || group == "Image2" || group == "Image3"
           || group.rfind("SubThumb", 0) == 0;
}

template <typename Data, typename Predicate>
void EraseIf(Data& data, Predicate predicate)
{
    for (auto it = data.begin(); it != data.end();) {
        it = predicate(*it) ? data.erase(it) : std::next(it);
    }
}

void SetIfPresent(Exiv2::ExifData& exif, const char* key, uint32_t value)
{
    if (exif.findKey(Exiv2::ExifKey(key)) != exif.end()) {
        exif[key] = value;
    }
}

void SetIfPresent(Exiv2::XmpData& xmp, const char* key, const std::string& value)
{
    if (xmp.findKey(Exiv2::XmpKey(key)) != xmp.end()) {
        xmp[key] = value;
    }
}

std::vector<uint8_t> Bytes(const Exiv2::byte* data, size_t size)
{
    return data == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(data, data + size);
}

// Orientation 1, output dimensions, no thumbnail or foreign raster layout, and no GPS
// when asked.
void PrepareExif(Exiv2::ExifData& exif, bool removeLocation, int32_t width, int32_t height)
{
    EraseIf(exif, [&](const Exiv2::Exifdatum& d) {
        const std::string key = d.key();
        if (DescribesAnotherPicture(d.groupName())) {
            return true;
        }
        if (std::find(kRasterLayoutTags.begin(), kRasterLayoutTags.end(), key) != kRasterLayoutTags.end()) {
            return true;
        }
        return removeLocation && (d.groupName() == "GPSInfo" || key == "Exif.Image.GPSTag");
    });
    SetIfPresent(exif, "Exif.Image.Orientation", 1);
    if (!exif.empty() && width > 0 && height > 0) {
        exif["Exif.Photo.PixelXDimension"] = static_cast<uint32_t>(width);
        exif["Exif.Photo.PixelYDimension"] = static_cast<uint32_t>(height);
    }
}

void PrepareXmp(Exiv2::XmpData& xmp, bool removeLocation, int32_t width, int32_t height)
{
    EraseIf(xmp, [&](const Exiv2::Xmpdatum& d) {
        const std::string key = d.key();
        if (key.rfind("Xmp.xmp.Thumbnails", 0) == 0) {
            return true;
        }
        return removeLocation && key.rfind("Xmp.exif.GPS", 0) == 0;
    });
    SetIfPresent(xmp, "Xmp.tiff.Orientation", "1");
    if (width > 0 && height > 0) {
        SetIfPresent(xmp, "Xmp.exif.PixelXDimension", std::to_string(width));
        SetIfPresent(xmp, "Xmp.exif.PixelYDimension", std::to_string(height));
        SetIfPresent(xmp, "Xmp.tiff.ImageWidth", std::to_string(width));
        SetIfPresent(xmp, "Xmp.tiff.ImageLength", std::to_string(height));
    }
}

// The formats whose exiv2 writer embeds a colour profile.
bool CarriesIccProfile(const std::string& mimeType)
{
    return mimeType == "image/jpeg" || mimeType == "image/png" || mimeType == "image/tiff" || mimeType == "image/webp";
}

std::string Describe(const char* what, const std::exception& error)
{
    return std::string(what) + ": " + error.what();
}

}  // namespace

void detail::AddReason(MetadataResult& result, MetadataStatus status, const std::string& reason)
{
    // The worst status wins: Failed over Partly over Done.
    const auto rank = [](MetadataStatus s) {
        switch (s) {
        case MetadataStatus::Failed: return 3;
        case MetadataStatus::Unsupported: return 2;
        case MetadataStatus::Partly: return 1;
        default: return 0;
        }
    };
    if (rank(status) > rank(result.status)) {
        result.status = status;
    }
    result.reason += result.reason.empty() ? reason : "; " + reason;
}

MetadataRead detail::ReadExivMetadataHere(const std::string& sourcePath)
{
    InitialiseOnce();
    MetadataRead read;
    Exiv2::Image::AutoPtr image;
    try {
        image = Exiv2::ImageFactory::open(sourcePath);
        image->readMetadata();
    } catch (const Exiv2::AnyError& error) {
        // exiv2 says "unknown image type" for formats it cannot read at all.
        const bool unknown = error.code() == Exiv2::kerFileContainsUnknownImageType;
        read.result = {unknown ? MetadataStatus::Unsupported : MetadataStatus::Failed,
                       Describe("reading photo information", error)};
        return read;
    } catch (const std::exception& error) {
        read.result = {MetadataStatus::Failed, Describe("reading photo information", error)};
        return read;
    }

    MetadataResult& result = read.result;
    try {
        const Exiv2::ExifData& exif = image->exifData();
        if (!exif.empty()) {
            Exiv2::Blob blob;
            const Exiv2::ByteOrder order =
                image->byteOrder() == Exiv2::invalidByteOrder ? Exiv2::littleEndian : image->byteOrder();
            Exiv2::ExifParser::encode(blob, order, exif);
            read.metadata.exif.assign(blob.begin(), blob.end());
        }
    } catch (const std::exception& error) {
        AddReason(result, MetadataStatus::Partly, Describe("EXIF left out", error));
    }
    try {
        if (!image->xmpData().empty()) {
            std::string packet;
            if (Exiv2::XmpParser::encode(packet, image->xmpData(), Exiv2::XmpParser::useCompactFormat) != 0) {
                AddReason(result, MetadataStatus::Partly, "XMP left out: it could not be serialised");
            } else {
                read.metadata.xmp = std::move(packet);
            }
        } else if (!image->xmpPacket().empty()) {
            read.metadata.xmp = image->xmpPacket();
        }
    } catch (const std::exception& error) {
        AddReason(result, MetadataStatus::Partly, Describe("XMP left out", error));
    }
    try {
        if (!image->iptcData().empty()) {
            const Exiv2::DataBuf buffer = Exiv2::IptcParser::encode(image->iptcData());
            read.metadata.iptc = Bytes(buffer.pData_, static_cast<size_t>(buffer.size_));
        }
    } catch (const std::exception& error) {
        AddReason(result, MetadataStatus::Partly, Describe("IPTC left out", error));
    }
    if (image->iccProfileDefined()) {
        const Exiv2::DataBuf* icc = image->iccProfile();
        read.metadata.icc = Bytes(icc->pData_, static_cast<size_t>(icc->size_));
    }
    if (result.status == MetadataStatus::NothingToDo && !read.metadata.Empty()) {
        result.status = MetadataStatus::Done;
    }
    return read;
}

namespace {

// An EXIF block parsed, changed by `edit` and written back in its own byte order (empty
// when nothing is left). Throws what exiv2 throws.
template <typename Edit> std::vector<uint8_t> RewriteExif(const std::vector<uint8_t>& block, Edit edit)
{
    Exiv2::ExifData exif;
    const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(exif, block.data(), static_cast<uint32_t>(block.size()));
    edit(exif);
    Exiv2::Blob blob;
    if (!exif.empty()) {
        Exiv2::ExifParser::encode(blob, order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order, exif);
    }
    return {blob.begin(), blob.end()};
}

// An XMP packet parsed, changed by `edit` and written back compactly (empty when nothing
// is left); a packet that cannot be parsed or written is left out with the reason.
template <typename Edit> std::string RewriteXmp(const std::string& packet, Edit edit, MetadataResult& report)
{
    std::string out;
    try {
        Exiv2::XmpData xmp;
        if (Exiv2::XmpParser::decode(xmp, packet) != 0) {
            AddReason(report, MetadataStatus::Partly, "XMP left out: the packet could not be parsed");
            return out;
        }
        edit(xmp);
        if (!xmp.empty() && Exiv2::XmpParser::encode(out, xmp, Exiv2::XmpParser::useCompactFormat) != 0) {
            out.clear();
            AddReason(report, MetadataStatus::Partly, "XMP left out: it could not be serialised");
        }
    } catch (const std::exception& error) {
        out.clear();
        AddReason(report, MetadataStatus::Partly, Describe("XMP left out", error));
    }
    return out;
}

}  // namespace

void detail::NormaliseInformation(MetadataRead& read)
{
    PhotoMetadata& blocks = read.metadata;
    if (!blocks.HasInformation()) {
        return;
    }
    InitialiseOnce();
    MetadataResult& result = read.result;
    const auto unchanged = [](auto&) {};
    if (!blocks.exif.empty()) {
        try {
            blocks.exif = RewriteExif(blocks.exif, unchanged);
        } catch (const std::exception& error) {
            blocks.exif.clear();
            AddReason(result, MetadataStatus::Partly, Describe("EXIF left out", error));
        }
    }
    if (!blocks.xmp.empty()) {
        blocks.xmp = RewriteXmp(blocks.xmp, unchanged, result);
    }
    if (!blocks.iptc.empty()) {
        try {
            Exiv2::IptcData iptc;
            if (Exiv2::IptcParser::decode(iptc, blocks.iptc.data(), static_cast<uint32_t>(blocks.iptc.size())) != 0) {
                blocks.iptc.clear();
                AddReason(result, MetadataStatus::Partly, "IPTC left out: the datasets could not be parsed");
            } else {
                const Exiv2::DataBuf buffer = Exiv2::IptcParser::encode(iptc);
                blocks.iptc = Bytes(buffer.pData_, static_cast<size_t>(buffer.size_));
            }
        } catch (const std::exception& error) {
            blocks.iptc.clear();
            AddReason(result, MetadataStatus::Partly, Describe("IPTC left out", error));
        }
    }
}

PhotoMetadata PrepareForOutput(const PhotoMetadata& source, const MetadataOptions& options, int32_t width,
                               int32_t height, MetadataResult* result)
{
    InitialiseOnce();
    MetadataResult local;
    MetadataResult& report = result != nullptr ? *result : local;
    PhotoMetadata out;
    if (options.keepIcc) {
        out.icc = source.icc;
    }
    if (!options.keepMetadata) {
        return out;
    }
    if (!source.exif.empty()) {
        try {
            out.exif = RewriteExif(source.exif, [&](Exiv2::ExifData& exif) {
                PrepareExif(exif, options.removeLocation, width, height);
            });
        } catch (const std::exception& error) {
            AddReason(report, MetadataStatus::Partly, Describe("EXIF left out", error));
        }
    }
    if (!source.xmp.empty()) {
        out.xmp = RewriteXmp(source.xmp, [&](Exiv2::XmpData& xmp) {
            PrepareXmp(xmp, options.removeLocation, width, height);
        }, report);
    }
    out.iptc = source.iptc;
    return out;
}

namespace {

// JPEG XR, which exiv2 cannot write: the blocks go into the file's own directory.
MetadataResult WriteJxr(const std::string& outputFilePath, const PhotoMetadata& metadata,
                        const MetadataOptions& options)
{
    MetadataResult result;
    int32_t width = 0;
    int32_t height = 0;
    detail::JxrPixelSize(outputFilePath, width, height);
    PhotoMetadata prepared = PrepareForOutput(metadata, options, width, height, &result);
    if (prepared.exif.size() >= 2 && prepared.exif[0] == 'M') {
        // The directory is little-endian, and so must be the EXIF structure moved into it.
        try {
            Exiv2::ExifData exif;
            Exiv2::ExifParser::decode(exif, prepared.exif.data(), static_cast<uint32_t>(prepared.exif.size()));
            Exiv2::Blob blob;
            Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
            prepared.exif.assign(blob.begin(), blob.end());
        } catch (const std::exception& error) {
            prepared.exif.clear();
            AddReason(result, MetadataStatus::Partly, Describe("EXIF left out", error));
        }
    }
    const MetadataResult written = detail::WriteJxrInformation(outputFilePath, prepared);
    if (written.status != MetadataStatus::NothingToDo && written.status != MetadataStatus::Done) {
        AddReason(result, written.status, written.reason);
    }
    if (result.status == MetadataStatus::NothingToDo && written.status == MetadataStatus::Done) {
        result.status = MetadataStatus::Done;
    }
    return result;
}

}  // namespace

MetadataResult WritePhotoMetadata(const std::string& outputFilePath, const PhotoMetadata& metadata,
                                  const MetadataOptions& options)
{
    MetadataResult result;
    const bool wantInformation = options.keepMetadata && metadata.HasInformation();
    const bool wantIcc = options.keepIcc && !metadata.icc.empty();
    if (!wantInformation && !wantIcc) {
        return result;  // NothingToDo: the encoders write no photo information of their own
    }
    InitialiseOnce();
    uint8_t head[4] = {};
    if (std::FILE* file = std::fopen(outputFilePath.c_str(), "rb")) {
        const size_t got = std::fread(head, 1, sizeof head, file);
        std::fclose(file);
        if (detail::IsJxrFile(head, got)) {
            return WriteJxr(outputFilePath, metadata, options);
        }
    }
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(outputFilePath);
        image->readMetadata();  // keeps what the encoder wrote (TIFF structure, resolution)
        const PhotoMetadata prepared =
            PrepareForOutput(metadata, options, image->pixelWidth(), image->pixelHeight(), &result);

        const auto writable = [&](Exiv2::MetadataId id) {
            if (id == Exiv2::mdIccProfile) {
                // exiv2's table of access modes has no column for profiles.
                return CarriesIccProfile(image->mimeType());
            }
            return (image->checkMode(id) & Exiv2::amWrite) != 0;
        };
        bool anything = false;
        std::string dropped;
        const auto drop = [&](const char* what) { dropped += dropped.empty() ? what : std::string(", ") + what; };

        if (!prepared.exif.empty()) {
            if (writable(Exiv2::mdExif)) {
                Exiv2::ExifData exif;
                Exiv2::ExifParser::decode(exif, prepared.exif.data(), static_cast<uint32_t>(prepared.exif.size()));
                image->setExifData(exif);
                anything = true;
            } else {
                drop("EXIF");
            }
        }
        if (!prepared.xmp.empty()) {
            if (writable(Exiv2::mdXmp)) {
                Exiv2::XmpData xmp;
                Exiv2::XmpParser::decode(xmp, prepared.xmp);
                image->setXmpData(xmp);
                anything = true;
            } else {
                drop("XMP");
            }
        }
        if (!prepared.iptc.empty()) {
            if (writable(Exiv2::mdIptc)) {
                Exiv2::IptcData iptc;
                Exiv2::IptcParser::decode(iptc, prepared.iptc.data(), static_cast<uint32_t>(prepared.iptc.size()));
                image->setIptcData(iptc);
                anything = true;
            } else {
                drop("IPTC");
            }
        }
        // exiv2 0.27 labels the profile chunk of a simple WebP file (one that it must
        // first give an extended header) as a second header chunk. Once the file has
        // its extended header, the profile is written correctly; so a WebP file gets
        // its profile in a second pass.
        bool profileInSecondPass = false;
        if (!prepared.icc.empty()) {
            if (!writable(Exiv2::mdIccProfile)) {
                drop("colour profile");
            } else if (image->mimeType() == "image/webp") {
                profileInSecondPass = true;
            } else {
                Exiv2::DataBuf icc(prepared.icc.data(), static_cast<long>(prepared.icc.size()));
                image->setIccProfile(icc, true);
                anything = true;
            }
        }
        if (!dropped.empty()) {
            AddReason(result, anything || profileInSecondPass ? MetadataStatus::Partly : MetadataStatus::Unsupported,
                      "the output's format cannot hold " + dropped);
        }
        if (anything || profileInSecondPass) {
            image->writeMetadata();
        }
        if (!prepared.icc.empty() && image->mimeType() == "image/png" && !NameUnnamedPngProfile(outputFilePath)) {
            AddReason(result, MetadataStatus::Failed, "the colour profile could not be named");
        }
        if (profileInSecondPass) {
            image = Exiv2::ImageFactory::open(outputFilePath);
            image->readMetadata();
            Exiv2::DataBuf icc(prepared.icc.data(), static_cast<long>(prepared.icc.size()));
            image->setIccProfile(icc, true);
            image->writeMetadata();
        }
    } catch (const Exiv2::AnyError& error) {
        const bool unsupported = error.code() == Exiv2::kerFileContainsUnknownImageType
                                 || error.code() == Exiv2::kerWritingImageFormatUnsupported;
        AddReason(result, unsupported ? MetadataStatus::Unsupported : MetadataStatus::Failed,
                  Describe("writing photo information", error));
        return result;
    } catch (const std::exception& error) {
        AddReason(result, MetadataStatus::Failed, Describe("writing photo information", error));
        return result;
    }
    if (result.status == MetadataStatus::NothingToDo) {
        result.status = MetadataStatus::Done;
    }
    return result;
}

}  // namespace tallowin::metadata
