#pragma once
// The WDP codec library (libphoto.so beside the executable), loaded at run time, and
// the two bridge operations over its exports.

#include "window_port.h"

#include <string>

namespace tallowin {

class WdpCodecLibrary {
public:
    explicit WdpCodecLibrary(WindowPort& port);
    ~WdpCodecLibrary();  // releases the library
    WdpCodecLibrary(const WdpCodecLibrary&) = delete;
    WdpCodecLibrary& operator=(const WdpCodecLibrary&) = delete;

    // Loads the library from `folder` (the executable's folder, ending in '/') and
    // resolves both exports; at the first failure shows one message (caption the
    // application's title) and returns false.
    bool LoadWdpCodecLibrary(const std::string& folder);
    void Release();
    bool IsLoaded() const;

    // False, silently, without a resolved entry; otherwise true, with "Failed to convert
    // %s to %s" (caption "Error") when the library reports failure. Decoding removes a
    // file standing at the BMP path first. The encoder value is handed over as decimal
    // text. Used from one thread at a time. The encoder may write to a hidden name that
    // is renamed into place later: the failure message then names `shownWdpPath`, the
    // file the user asked for.
    bool DecodeWdpFile(const std::string& wdpPath, const std::string& bmpPath);
    bool EncodeWdpFile(const std::string& bmpPath, const std::string& wdpPath, int encoderParam,
                       const std::string& shownWdpPath = {});

    // Decodes without any message: true only when the library is loaded and reports
    // success. For decoding again a photo that was decoded once when it was added;
    // safe from any thread while the library stays loaded.
    bool DecodeQuietly(const std::string& wdpPath, const std::string& bmpPath) const;

private:
    WindowPort& port_;
    void* handle_ = nullptr;
    int (*decode_)(const char*, const char*) = nullptr;
    int (*encode_)(const char*, const char*, const char*) = nullptr;
};

}  // namespace tallowin
