// Reading a photo file into a fresh record, the step every way of adding photos shares.

#include "photo_reading.h"

#include "gdiplus.h"
#include "output_size.h"
#include "paths.h"
#include "temp_files.h"
#include "wdp_source.h"

#include <QString>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallowin {

namespace {

constexpr const char* kWdpExtension = "wdp";  // compared case-sensitively

// The file-error text of the window framework for an errno, with the path in it.
std::string FileErrorText(int error, const std::string& path)
{
    switch (error) {
    case ENOENT: return path + " was not found.";
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return path + " contains an invalid path.";
    case EMFILE:
    case ENFILE: return path + " could not be opened because there are too many open files.";
    case EACCES:
    case EPERM: return "Access to " + path + " was denied.";
    case EIO: return "A hardware I/O error was reported while accessing " + path + ".";
    case ETXTBSY:
    case EBUSY: return "A sharing violation occurred while accessing " + path + ".";
    default: return "An unexpected error occurred while accessing " + path + ".";
    }
}

std::string LocalTimeText(int64_t seconds)
{
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&when, &local)) return {};
    char text[64];
    const size_t length = std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return std::string(text, length);
}

// Width and height from the file's header; 0 x 0 when it cannot be read as an image.
void MeasurePhoto(const std::string& path, PhotoRecord& record)
{
    record.width = 0;
    record.height = 0;
    const std::u16string widePath = GdipExtWidePath(path);
    GpImage* image = nullptr;
    if (GdipLoadImageFromFile(widePath.c_str(), &image) != Ok || !image) return;
    UINT width = 0;
    UINT height = 0;
    if (GdipGetImageWidth(image, &width) == Ok && GdipGetImageHeight(image, &height) == Ok &&
        width <= INT32_MAX && height <= INT32_MAX) {
        record.width = static_cast<int32_t>(width);
        record.height = static_cast<int32_t>(height);
    }
    GdipDisposeImage(image);
}

}  // namespace

namespace {

// A box about a file: its text and caption.
struct FileMessage {
    std::string text;
    std::string caption;
};

// The file's modification time into the record, or the message that says why it could
// not be read.
std::optional<FileMessage> ReadFileTimeQuietly(const std::string& path, PhotoRecord& record)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FileMessage{FileErrorText(errno, path), path};
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        ::close(fd);
        return FileMessage{"Failed file.GetStatus from " + path, path};
    }
    ::close(fd);
    record.modificationTime = static_cast<int64_t>(status.st_mtime);
    record.timeText = LocalTimeText(record.modificationTime);
    return std::nullopt;
}

}  // namespace

bool ReadFileTime(const std::string& path, WindowPort& port, PhotoRecord& record)
{
    const std::optional<FileMessage> problem = ReadFileTimeQuietly(path, record);
    if (problem) port.ShowMessage(problem->text, problem->caption);
    return !problem;
}

// A FIFO, socket or device named like a photo would block or feed the decoders
// endlessly; only regular files (links followed) can be photos. A path that cannot be
// examined is left to the steps below, which report it.
static bool IsSpecialFile(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

namespace {

constexpr const char* kCannotDecodeWdp = "can not decode the file";

// Both ways of reading a photo file; `failure` null: every problem is shown at once
// through the port.
bool ReadPhoto(const std::string& path, const OutputSettings& settings, WdpCodecLibrary& wdp, WindowPort& port,
               PhotoRecord& record, ReadFailure* failure)
{
    if (IsSpecialFile(path)) {
        if (failure) *failure = {"It is not a regular file.", "", false};
        return false;
    }
    if (ExtensionOf(path) == kWdpExtension) {
        // A folder of its own per photo keeps the WDP file's title and never shares the
        // BMP with another WDP file of the same name.
        // Without a temporary folder there is nowhere safe to write the BMP (the decode
        // removes a file standing at its path first), so the photo fails as undecodable.
        const std::string folder = desktop::UniqueTempSubfolder();
        if (folder.empty()) port.ShowMessage("Can not get temporary path name!", "Error");
        const std::string bmpPath = folder + FileTitleOf(path) + ".bmp";
        if (folder.empty() || !wdp.DecodeWdpFile(path, bmpPath)) {
            if (failure)
                *failure = {kCannotDecodeWdp, "Error", false};
            else
                port.ShowMessage(kCannotDecodeWdp, "Error");
            return false;
        }
        record.sourcePath = bmpPath;
        record.wdpPath = path;
    } else {
        record.sourcePath = path;
    }
    // Reported at once, or once it is known whether the photo is added at all.
    std::optional<FileMessage> timeProblem;
    if (failure)
        timeProblem = ReadFileTimeQuietly(path, record);
    else
        ReadFileTime(path, port, record);
    record.fileName = FileNameOf(path);
    MeasurePhoto(record.sourcePath, record);
    // The BMP is decoded again whenever the photo is converted or previewed.
    ReleaseAddedWdpBitmap(record);
    if (record.width == 0 || record.height == 0) {
        if (failure) {
            // A file that could not even be opened says so; anything else is no photo
            // the codecs can read.
            *failure = timeProblem ? ReadFailure{timeProblem->text, timeProblem->caption, true}
                                   : ReadFailure{"It is not a photo that can be read, or it is damaged.", "", false};
        }
        return false;
    }
    if (timeProblem) port.ShowMessage(timeProblem->text, timeProblem->caption);
    AssignOutputSettings(record, settings, port);
    return true;
}

}  // namespace

bool ReadPhotoFile(const std::string& path, const OutputSettings& settings, WdpCodecLibrary& wdp, WindowPort& port,
                   PhotoRecord& record)
{
    return ReadPhoto(path, settings, wdp, port, record, nullptr);
}

bool ReadPhotoFile(const std::string& path, const OutputSettings& settings, WdpCodecLibrary& wdp, WindowPort& port,
                   PhotoRecord& record, ReadFailure& failure)
{
    return ReadPhoto(path, settings, wdp, port, record, &failure);
}

}  // namespace tallowin
