// Photo information of a source of any kind read in this process, the hook that sends
// those reads to a decoder helper instead, and the reads an output's writer makes.
#include "container_metadata.h"

#include <atomic>

namespace tallowin::metadata::detail {
namespace {

std::atomic<SourceMetadataReader> g_reader{nullptr};

// The blocks as each container's reader gives them.
MetadataRead ReadBlocksHere(ContainerKind kind, const std::string& path)
{
    switch (kind) {
    case ContainerKind::Heif: return ReadHeifMetadataHere(path);
    case ContainerKind::Jxl: return ReadJxlMetadataHere(path);
    case ContainerKind::Jxr:
    case ContainerKind::Other: break;
    }
    return ReadBlocksHereWithoutHeifJxl(kind, path);
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

}  // namespace tallowin::metadata::detail

namespace tallowin::metadata {

using detail::AddReason;

MetadataRead ReadPhotoMetadata(const std::string& sourcePath)
{
    return detail::ReadSourceMetadata(detail::KindOfFile(sourcePath), sourcePath);
}

MetadataResult PrepareForEncoder(const std::string& sourcePath, const MetadataOptions& options, int32_t width,
                                 int32_t height, PhotoMetadata& out)
{
    out = {};
    if (!options.keepMetadata && !options.keepIcc) {
        return {};
    }
    const MetadataRead read = ReadPhotoMetadata(sourcePath);
    if (read.result.status == MetadataStatus::Unsupported) {
        return {};
    }
    if (read.result.status == MetadataStatus::Failed) {
        return read.result;
    }
    MetadataResult result;
    out = PrepareForOutput(read.metadata, options, width, height, &result);
    if (read.result.status == MetadataStatus::Partly) {
        AddReason(result, MetadataStatus::Partly, read.result.reason);
    }
    if (!out.iptc.empty()) {
        // Neither container has a place for IPTC-IIM datasets.
        out.iptc.clear();
        AddReason(result, MetadataStatus::Partly, "the output's format cannot hold IPTC");
    }
    if (result.status == MetadataStatus::NothingToDo && !out.Empty()) {
        result.status = MetadataStatus::Done;
    }
    return result;
}

MetadataResult CarryPhotoInformation(const std::string& sourcePath, const std::string& outputFilePath,
                                     const MetadataOptions& options)
{
    if (!options.keepMetadata && !options.keepIcc) {
        return {};
    }
    const MetadataRead read = ReadPhotoMetadata(sourcePath);
    if (read.result.status == MetadataStatus::Unsupported) {
        return {};  // a BMP or GIF source has nothing to carry
    }
    if (read.result.status == MetadataStatus::Failed) {
        return read.result;
    }
    MetadataResult result = WritePhotoMetadata(outputFilePath, read.metadata, options);
    if (read.result.status == MetadataStatus::Partly) {
        AddReason(result, MetadataStatus::Partly, read.result.reason);
    }
    return result;
}

}  // namespace tallowin::metadata
