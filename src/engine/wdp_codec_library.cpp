#include "wdp_codec_library.h"

#include "app_identity.h"
#include "decoder_helpers.h"

#include <dlfcn.h>

#include <cstdio>
#include <optional>
#include <string>

namespace tallowin {

namespace {
constexpr const char* kLibraryFile = "libphoto.so";
constexpr const char* kDecodeExport = "DecodeWMPToBMP";
constexpr const char* kEncodeExport = "EncodeBMPToWMP";

using DecodeFunction = int (*)(const char*, const char*);
using EncodeFunction = int (*)(const char*, const char*, const char*);

// The library's decode, in a decoder helper process when the program has them.
bool Decode(DecodeFunction decode, const std::string& wdpPath, const std::string& bmpPath)
{
    if (const std::optional<bool> decoded = codec::IsolatedWdpToBmp(wdpPath, bmpPath)) return *decoded;
    return decode(wdpPath.c_str(), bmpPath.c_str()) != 0;
}
}  // namespace

WdpCodecLibrary::WdpCodecLibrary(WindowPort& port) : port_(port) {}

WdpCodecLibrary::~WdpCodecLibrary() { Release(); }

bool WdpCodecLibrary::LoadWdpCodecLibrary(const std::string& folder)
{
    Release();
    const std::string path = folder + kLibraryFile;
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        port_.ShowMessage(std::string("Can not load ") + kLibraryFile + ".", kApplicationTitle);
        return false;
    }
    decode_ = reinterpret_cast<DecodeFunction>(::dlsym(handle_, kDecodeExport));
    if (!decode_) {
        port_.ShowMessage(std::string("Can not get the function ") + kDecodeExport + ".", kApplicationTitle);
        return false;
    }
    encode_ = reinterpret_cast<EncodeFunction>(::dlsym(handle_, kEncodeExport));
    if (!encode_) {
        // The message has always named the export this way.
        port_.ShowMessage("Can not get the function EncodeBMPToWDP.", kApplicationTitle);
        return false;
    }
    return true;
}

void WdpCodecLibrary::Release()
{
    decode_ = nullptr;
    encode_ = nullptr;
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

bool WdpCodecLibrary::IsLoaded() const { return decode_ && encode_; }

bool WdpCodecLibrary::DecodeWdpFile(const std::string& wdpPath, const std::string& bmpPath)
{
    if (!decode_) return false;
    std::remove(bmpPath.c_str());
    if (!Decode(decode_, wdpPath, bmpPath))
        port_.ShowMessage("Failed to convert " + wdpPath + " to " + bmpPath, "Error");
    return true;
}

bool WdpCodecLibrary::DecodeQuietly(const std::string& wdpPath, const std::string& bmpPath) const
{
    return decode_ && Decode(decode_, wdpPath, bmpPath);
}

bool WdpCodecLibrary::EncodeWdpFile(const std::string& bmpPath, const std::string& wdpPath, int encoderParam,
                                    const std::string& shownWdpPath)
{
    if (!encode_) return false;
    const std::string quality = std::to_string(encoderParam);
    if (encode_(bmpPath.c_str(), wdpPath.c_str(), quality.c_str()) == 0)
        port_.ShowMessage("Failed to convert " + bmpPath + " to " + (shownWdpPath.empty() ? wdpPath : shownWdpPath),
                          "Error");
    return true;
}

}  // namespace tallowin
