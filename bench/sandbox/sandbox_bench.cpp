// One photo decoded for a 1024-pixel-wide output, in this process and through a decoder
// helper (a pool of one, reused), header read included. The two alternate round by
// round, so that other work on the machine weighs on both alike; the medians are shown.
//   sandbox_bench PHOTO HELPER [ROUNDS]
#include "decoder.h"
#include "decoder_pool.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace tallowin::codec;

double Ms(const std::function<bool()>& once) {
    const auto start = std::chrono::steady_clock::now();
    if (!once()) return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PHOTO HELPER [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 20;
    const Decoder* found = nullptr;
    if (SniffFile(path, found) != DecodeStatus::Ok) return 1;
    const Decoder& format = *found;
    const DecodeLimits limits;

    sandbox::PoolOptions options;
    options.helperPath = argv[2];
    options.size = 1;
    sandbox::DecoderPool pool(options);

    int32_t width = 0;
    int32_t height = 0;
    const auto decode = [&](auto&& readHeader, auto&& decodePixels) {
        ImageInfo info;
        if (readHeader(format, path, limits, info) != DecodeStatus::Ok) return false;
        DecodeRequest request;
        request.minWidth = std::min(info.width, 1024);
        request.minHeight = static_cast<int32_t>(static_cast<int64_t>(info.height) * request.minWidth / info.width);
        Raster raster;
        std::string warning;
        if (decodePixels(format, path, request, limits, raster, warning) != DecodeStatus::Ok) return false;
        width = raster.width;
        height = raster.height;
        return true;
    };
    const std::function<bool()> local = [&] { return decode(ReadHeader, DecodePixels); };
    const std::function<bool()> remote = [&] {
        return decode([&](auto&&... a) { return pool.ReadHeader(a...); },
                      [&](auto&&... a) { return pool.DecodePixels(a...); });
    };
    // Warm-up: caches, and the helper's start.
    if (Ms(local) < 0 || Ms(remote) < 0) return 1;
    std::vector<double> localMs;
    std::vector<double> remoteMs;
    for (int i = 0; i < rounds; ++i) {
        localMs.push_back(Ms(local));
        remoteMs.push_back(Ms(remote));
        if (localMs.back() < 0 || remoteMs.back() < 0) return 1;
    }
    const double inProcess = Median(localMs);
    const double helper = Median(remoteMs);
    std::printf("%s: decoded at %dx%d, %d rounds\n", path.c_str(), width, height, rounds);
    std::printf("in process   %8.2f ms per decode (median)\n", inProcess);
    std::printf("in a helper  %8.2f ms per decode (median, %+.1f%%)\n", helper, (helper / inProcess - 1.0) * 100.0);
    return 0;
}
