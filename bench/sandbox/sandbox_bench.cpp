// One photo decoded for a 1024-pixel-wide output, in this process and through a decoder
// helper (a pool of one, reused), header read included, and its pixels read once (as
// the resampler would). The two alternate round by round, so that other work on the
// machine weighs on both alike. Shown: the median wall time, and the CPU time per
// decode over all rounds (this process's, plus the helper's for the helper).
//   sandbox_bench PHOTO HELPER [ROUNDS]
#include "decoder.h"
#include "decoder_pool.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace tallowin::codec;

double Ms(const std::function<bool()>& once) {
    const auto start = std::chrono::steady_clock::now();
    if (!once()) return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// CPU seconds of this process.
double OwnCpu() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU seconds of this process's live children (the helper), from /proc.
double ChildrenCpu() {
    double seconds = 0;
    const long ticks = sysconf(_SC_CLK_TCK);
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return 0;
    while (dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(text.substr(close + 2));
        std::string state;
        long parent = 0;
        fields >> state >> parent;
        if (parent != getpid()) continue;
        std::string skip;
        for (int i = 0; i < 9; ++i) fields >> skip;  // fields 6 to 13
        double user = 0;
        double system = 0;
        fields >> user >> system;
        seconds += (user + system) / static_cast<double>(ticks);
    }
    closedir(proc);
    return seconds;
}

double Cpu() { return OwnCpu() + ChildrenCpu(); }

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
        DecodedPixels decoded;
        std::string warning;
        if (decodePixels(format, path, request, limits, decoded, warning) != DecodeStatus::Ok) return false;
        width = decoded.raster.width;
        height = decoded.raster.height;
        const uint8_t* pixels = decoded.Data();
        unsigned sum = 0;
        for (size_t i = 0; i < decoded.Size(); i += 64) sum += pixels[i];
        return sum != 1u;  // always true; keeps the reads
    };
    const auto inProcessDecode = [](const Decoder& f, const std::string& p, const DecodeRequest& r,
                                    const DecodeLimits& l, DecodedPixels& out, std::string& w) {
        return DecodePixels(f, p, r, l, out.raster, w);
    };
    const std::function<bool()> local = [&] { return decode(ReadHeader, inProcessDecode); };
    const std::function<bool()> remote = [&] {
        return decode([&](auto&&... a) { return pool.ReadHeader(a...); },
                      [&](auto&&... a) { return pool.DecodePixels(a...); });
    };
    // Warm-up: caches, and the helper's start.
    if (Ms(local) < 0 || Ms(remote) < 0) return 1;
    std::vector<double> localMs;
    std::vector<double> remoteMs;
    double localCpu = 0;
    double remoteCpu = 0;
    for (int i = 0; i < rounds; ++i) {
        double before = Cpu();
        localMs.push_back(Ms(local));
        double after = Cpu();
        localCpu += after - before;
        before = after;
        remoteMs.push_back(Ms(remote));
        remoteCpu += Cpu() - before;
        if (localMs.back() < 0 || remoteMs.back() < 0) return 1;
    }
    const double inProcess = Median(localMs);
    const double helper = Median(remoteMs);
    localCpu = localCpu * 1000 / rounds;
    remoteCpu = remoteCpu * 1000 / rounds;
    std::printf("%s: decoded at %dx%d, %d rounds\n", path.c_str(), width, height, rounds);
    std::printf("in process   %8.2f ms wall (median)  %8.2f ms CPU per decode\n", inProcess, localCpu);
    std::printf("in a helper  %8.2f ms wall (median, %+.1f%%)  %8.2f ms CPU per decode (%+.1f%%)\n", helper,
                (helper / inProcess - 1.0) * 100.0, remoteCpu, (remoteCpu / localCpu - 1.0) * 100.0);
    return 0;
}
