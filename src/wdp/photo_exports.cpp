#include "photo_exports.h"

#include "bmp_file.h"
#include "file_io.h"
#include "isolated_call.h"
#include "jxr_codec.h"
#include "jxr_container.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace tallowin::wdp {
namespace {

constexpr int kSuccess = 1;
constexpr int kFailure = 0;

// A JPEG XR file holding the largest picture within the limits is far smaller than
// this; anything bigger is refused before it is read.
constexpr uint64_t kMaxJxrFileBytes = uint64_t{4} << 30;

// The largest picture within the limits decodes in well under a minute; a decode
// still running after this is stuck in a damaged codestream.
constexpr std::chrono::minutes kDecodeTimeLimit{5};

// Strict decimal 1..255: digits only, no sign, no blanks.
std::optional<int> ParseQuantization(const char* text) {
    const size_t length = std::strlen(text);
    if (length == 0 || length > 3) return std::nullopt;
    int value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    if (value < kLosslessQuantization || value > kMaxQuantization) return std::nullopt;
    return value;
}

// Runs in a child process: libjxr decodes whatever survived the container check, and a
// fault there must not reach the program.
bool DecodeToFile(const std::string& wdpPath, const std::string& temporaryBmp) {
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(wdpPath, kMaxJxrFileBytes, bytes) != ReadFileResult::Ok) return false;
    BgrImage image;
    if (DecodeJxr(bytes, image) != JxrDecodeResult::Ok) return false;
    bytes.clear();
    bytes.shrink_to_fit();
    return WriteBmp24(temporaryBmp, image);
}

// libjxr reports a failed write only through the stream it closes on release, so the
// finished file is read back and checked before it replaces anything.
bool WrittenFileIsComplete(const std::string& path, const BgrImage& image) {
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(path, kMaxJxrFileBytes, bytes) != ReadFileResult::Ok) return false;
    JxrLayout layout;
    return CheckJxrContainer(bytes.data(), bytes.size(), layout) == ContainerCheck::Ok &&
           layout.width == static_cast<uint32_t>(image.width) && layout.height == static_cast<uint32_t>(image.height);
}

}  // namespace
}  // namespace tallowin::wdp

extern "C" int DecodeWMPToBMP(const char* wdpPath, const char* bmpPath) {
    using namespace tallowin::wdp;
    if (wdpPath == nullptr || bmpPath == nullptr || *wdpPath == '\0' || *bmpPath == '\0') return kFailure;
    const std::string input = wdpPath;
    const std::string temporary = TemporarySibling(bmpPath);
    const bool decoded = RunIsolated([&] { return DecodeToFile(input, temporary); }, kDecodeTimeLimit);
    if (!decoded) {
        std::remove(temporary.c_str());
        return kFailure;
    }
    return CommitTemporary(temporary, bmpPath) ? kSuccess : kFailure;
}

extern "C" int EncodeBMPToWMP(const char* bmpPath, const char* wdpPath, const char* quality) {
    using namespace tallowin::wdp;
    if (bmpPath == nullptr || wdpPath == nullptr || quality == nullptr || *wdpPath == '\0') return kFailure;
    const std::optional<int> quantization = ParseQuantization(quality);
    if (!quantization) return kFailure;

    BgrImage image;
    if (ReadBmp(bmpPath, image) != BmpReadResult::Ok) return kFailure;
    const std::string temporary = TemporarySibling(wdpPath);
    if (!EncodeJxr(image, *quantization, temporary) || !WrittenFileIsComplete(temporary, image)) {
        std::remove(temporary.c_str());
        return kFailure;
    }
    return CommitTemporary(temporary, wdpPath) ? kSuccess : kFailure;
}
