#pragma once
// A small pool of decoder helper processes. Each call sends one photo's descriptor
// to an idle helper and waits for its answer within a time limit. A helper that
// crashes, exceeds its memory limit or overruns the time limit is killed and
// replaced on the next call; that one call fails with DecodeStatus::Stopped.
// Thread-safe: conversion workers call it in parallel.

#include "container_metadata.h"
#include "decoder.h"
#include "decoder_protocol.h"
#include "header_cache.h"
#include "isolated_decode.h"
#include "shared_cpu.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tallowin::codec::sandbox {

struct PoolOptions {
    std::string helperPath;                            // the helper executable
    std::string heifJxlHelperPath;                     // for HEIF and JPEG XL; empty: helperPath
    std::string metafileHelperPath;                    // for metafiles; empty: helperPath
    int size = 1;                                      // helpers of each program alive at most
    std::chrono::milliseconds timeout{20000};          // per request
    uint64_t memoryMiB = 4096;                         // each helper's memory budget
    // How decoded pixels come over: through each helper's pixel window when they fit,
    // else read out of the helper's memory (falling back to pixel files where the system
    // refuses that); or without a window; or always as pixel files.
    PixelDelivery delivery = PixelDelivery::SharedWindow;
    // Each helper's pixel window: a photo of up to 64 megapixels fits at its own size.
    // Only the pages written take memory, until the helper idles, as its heap would
    // hold the same picture otherwise. Pictures lent from it to the resampler are never
    // copied, which at their own size saves some 4% of a TIFF conversion; a larger
    // picture is copied out of the helper's memory instead.
    size_t pixelWindowBytes = size_t{256} << 20;
    // Keep the asking thread and the helper on one CPU for each request (shared_cpu.h).
    bool shareCpu = true;
};

class DecoderPool {
public:
    explicit DecoderPool(PoolOptions options);
    ~DecoderPool();
    DecoderPool(const DecoderPool&) = delete;
    DecoderPool& operator=(const DecoderPool&) = delete;

    DecodeStatus ReadHeader(const Decoder& format, const std::string& path, const DecodeLimits& limits,
                            ImageInfo& info);
    // The pixels are copied once, out of the helper's memory into a block of this
    // process, or stay in the helper's sealed memfd, mapped copy-on-write (no copy is
    // made unless they are written to); either way `out.mapped` holds them. A request
    // forResamplingOnly may have them lent from the helper's pixel window instead
    // (`out.lent`): while they are, that helper's pixels come over another way.
    DecodeStatus DecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                              const DecodeLimits& limits, DecodedPixels& out, std::string& warning);
    // The same, copied into a raster of this process's memory.
    DecodeStatus DecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                              const DecodeLimits& limits, Raster& out, std::string& warning);
    // The photo information of a file, read by the helper: with libheif for `format`
    // "heif", libjxl for "jxl", our reader for "jxr", exiv2 for any other photo format.
    // Stopped when the helper failed or its reply was not a sound packing.
    DecodeStatus ReadInformation(const Decoder& format, const std::string& path, metadata::MetadataRead& out);
    // Ends the idle helpers and waits for them; a later call starts new ones.
    void EndIdleHelpers();
    // Starts helpers for photos (not metafiles) now, until `count` are alive (at most
    // the pool's size), so that they load while the caller prepares its first requests.
    void StartHelpers(int count = 1);

private:
    // A helper's pixel window as mapped here. Pixels lent from it keep it mapped,
    // after the helper has ended too.
    struct PixelWindow {
        uint8_t* base = nullptr;
        size_t bytes = 0;
        std::atomic<bool> lent{false};
        PixelWindow(uint8_t* mapped, size_t size) : base(mapped), bytes(size) {}
        ~PixelWindow();
        PixelWindow(const PixelWindow&) = delete;
        PixelWindow& operator=(const PixelWindow&) = delete;
        // This process is done with the `used` bytes of the photo `sequence`: the helper
        // may write the window again, or give its pages back while idle.
        void GiveBack(size_t used, uint64_t sequence);
    };

    struct Helper {
        pid_t pid = -1;
        int socket = -1;
        HelperProgram program = HelperProgram::Photos;
        std::shared_ptr<PixelWindow> window;  // null until given
        int cpu = -1;                         // the CPU the helper was moved to last; -1: none
        bool WindowLent() const { return window && window->lent.load(std::memory_order_acquire); }
    };

    // One request and its reply. Stopped when the helper died, overran the time limit
    // or answered something malformed; `memfd` is the pixel descriptor or -1.
    // `pixels` receives pixels that followed the reply instead of a memfd.
    // `kept`, when given, receives pixels the helper kept in its memory, copied out
    // before the helper takes another request.
    // `opened`, when given, receives the identity of the file the helper was handed.
    // `lent`, when given, allows `kept` to be lent from the window, and says whether it was.
    DecodeStatus Exchange(const Decoder& format, const std::string& path, const DecodeLimits& limits,
                          WireRequest& request, WireReply& reply, int& memfd, PixelBytes& pixels,
                          std::shared_ptr<uint8_t>* kept = nullptr, struct stat* opened = nullptr,
                          bool* lent = nullptr);
    // `delivered`: the helper took the request (false when it had already ended).
    DecodeStatus Converse(Helper& helper, int fileFd, const WireRequest& request, WireReply& reply, int& memfd,
                          PixelBytes& pixels, bool& delivered);
    // Gives `helper` a pixel window unless it has one; false when it has none.
    bool OfferWindow(Helper& helper);
    // The size of the pixels `reply` says are in the helper's window; 0 when they are
    // no picture the window holds.
    static size_t WindowPixelsSize(const Helper& helper, const WireReply& reply);
    // Copies the pixels `reply` says are in the helper's window into `out`.
    DecodeStatus CopyFromWindow(Helper& helper, const WireReply& reply, std::shared_ptr<uint8_t>& out);
    // Lends them as they lie in the window: `out` gives the window back when freed.
    DecodeStatus LendWindow(Helper& helper, const WireReply& reply, std::shared_ptr<uint8_t>& out);
    // Copies the pixels `reply` says the helper kept into `out`; when this system
    // refuses reading another process's memory, asks for them as a pixel file (`memfd`).
    DecodeStatus CollectKeptPixels(Helper& helper, const WireReply& reply, std::shared_ptr<uint8_t>& out,
                                   int& memfd);
    static bool ReceivePixels(Helper& helper, std::chrono::steady_clock::time_point deadline, int32_t width,
                              int32_t height, PixelBytes& pixels);
    std::unique_ptr<Helper> Acquire(HelperProgram program);
    void Release(std::unique_ptr<Helper> helper, bool healthy);
    std::unique_ptr<Helper> Spawn(HelperProgram program);
    static void Retire(Helper& helper);

    const PoolOptions options_;
    std::mutex mutex_;
    std::condition_variable available_;
    std::vector<std::unique_ptr<Helper>> idle_;
    int alive_[kHelperPrograms] = {};  // idle plus busy, by HelperProgram
    int& Alive(HelperProgram program) { return alive_[static_cast<int>(program)]; }
    std::atomic<bool> keptRefused_{false};  // reading a helper's memory was refused once
    HeaderCache headers_;
    CpuClaims cpuClaims_;
};

// The process's pool, or null when decoding runs in this process: when no helper
// executable is found beside the running program. Metafiles go to the metafile helper
// beside it, HEIF and JPEG XL to theirs. TALLOWIN_DECODER_HELPER names another helper
// ("off" turns the helpers off), which also decodes the metafiles, HEIF and JPEG XL
// unless their helpers sit beside it;
// TALLOWIN_DECODER_HELPERS,
// TALLOWIN_DECODER_TIMEOUT_MS and TALLOWIN_DECODER_MEMORY_MIB change the pool's size
// and limits.
DecoderPool* SharedDecoderPool();

}  // namespace tallowin::codec::sandbox
