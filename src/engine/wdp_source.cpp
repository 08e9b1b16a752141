#include "wdp_source.h"

#include "paths.h"
#include "temp_files.h"
#include "wdp_codec_library.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tallowin {

WdpSourceFile::WdpSourceFile(WdpCodecLibrary* library, const PhotoRecord& photo)
{
    if (photo.wdpPath.empty()) {
        path_ = photo.sourcePath;
        return;
    }
    folder_ = desktop::UniqueTempSubfolder();
    if (folder_.empty()) {
        path_ = photo.sourcePath;  // removed after adding: the load fails
        return;
    }
    path_ = folder_ + FileTitleOf(photo.sourcePath) + ".bmp";
    if (library == nullptr || !library->DecodeQuietly(photo.wdpPath, path_)) std::remove(path_.c_str());
}

WdpSourceFile::~WdpSourceFile()
{
    if (folder_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

void ReleaseAddedWdpBitmap(const PhotoRecord& photo)
{
    if (!photo.wdpPath.empty()) std::remove(photo.sourcePath.c_str());
}

}  // namespace tallowin
