// A stand-in for the WDP codec library with the same two exports, for the tests of the
// engine's bridge: "decoding" copies a known BMP to the output path, an empty input
// fails, and every call is counted in a file beside the output.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

void CountCall(const char* outputPath)
{
    const auto counter = std::filesystem::path(outputPath).parent_path() / "calls.txt";
    std::ofstream(counter, std::ios::app) << outputPath << "\n";
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int DecodeWMPToBMP(const char* wdpPath, const char* bmpPath)
{
    CountCall(bmpPath);
    std::error_code ec;
    if (std::filesystem::file_size(wdpPath, ec) == 0 || ec) return 0;
    return std::filesystem::copy_file(FAKE_LIBPHOTO_BMP, bmpPath, std::filesystem::copy_options::overwrite_existing, ec) && !ec;
}

extern "C" __attribute__((visibility("default"))) int EncodeBMPToWMP(const char* bmpPath, const char* wdpPath,
                                                                   const char* quality)
{
    std::ofstream(wdpPath, std::ios::binary) << "fake wdp from " << bmpPath << " quality " << quality;
    return 1;
}
