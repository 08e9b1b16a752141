#include "batch_support.h"

#include "convert/convert_support.h"
#include "gdiplus.h"

#include <filesystem>
#include <system_error>

namespace tallowin::cli {

namespace fs = std::filesystem;

bool MakeOutputFolder(const std::string& folder, std::string& reason) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (!error && fs::is_directory(folder, error)) {
        return true;
    }
    reason = error ? error.message() : "not a folder";
    return false;
}

bool KeepRunFolderIfUsed(const std::string& runFolder) {
    std::error_code error;
    if (!fs::is_directory(runFolder, error)) {
        return false;
    }
    const bool empty = fs::is_empty(runFolder, error) && !error;
    return !(empty && fs::remove(runFolder, error));
}

std::string AddFailureText(const std::string& path) {
    GpImage* image = nullptr;
    const GpStatus status = GdipLoadImageFromFile(Utf16Path(path).c_str(), &image);
    if (image != nullptr) {
        GdipDisposeImage(image);
    }
    switch (status) {
        case UnknownImageFormat: return "can not be added: not a photo";
        case ValueOverflow: return "can not be added: the picture is over the size limit";
        case OutOfMemory: return "can not be added: out of memory";
        case FileNotFound:
        case AccessDenied:
        case Win32Error: return "can not be added: the file can not be read";
        case Ok: return "can not be added: the picture has no pixels";
        default: return std::string("can not be added: ") + GdipExtStatusText(status);
    }
}

}  // namespace tallowin::cli
