#include "png_profile_name.h"

#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace tallowin::metadata {
namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr std::string_view kProfileName = "ICC profile";

uint32_t ReadBigEndian(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

void WriteBigEndian(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

}  // namespace

bool NameUnnamedPngProfile(const std::string& path)
{
    std::vector<uint8_t> file;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return false;
    }
    if (file.size() < kSignature.size() || std::memcmp(file.data(), kSignature.data(), kSignature.size()) != 0)
        return false;

    // Walk the chunks up to the pixels; a chunk's length is checked against what is
    // left before it is used. A file cut before its pixels is no sound PNG.
    size_t at = kSignature.size();
    for (;;) {
        if (at + 12 > file.size()) return false;
        const uint32_t length = ReadBigEndian(&file[at]);
        if (length > file.size() - at - 12) return false;
        if (std::memcmp(&file[at + 4], "IDAT", 4) == 0) return true;  // no profile before the pixels
        if (std::memcmp(&file[at + 4], "iCCP", 4) == 0) break;
        at += 12 + size_t{length};
    }
    const uint32_t length = ReadBigEndian(&file[at]);
    const uint8_t* data = &file[at + 8];
    if (length == 0 || data[0] != 0) return true;  // named already

    // The chunk's data: name, NUL, compression method, compressed profile. Its CRC
    // covers the type and the data.
    const size_t newLength = kProfileName.size() + length;
    std::vector<uint8_t> named(file.size() + kProfileName.size());
    uint8_t* chunk = named.data() + at;
    std::memcpy(named.data(), file.data(), at);
    WriteBigEndian(chunk, static_cast<uint32_t>(newLength));
    std::memcpy(chunk + 4, "iCCP", 4);
    std::memcpy(chunk + 8, kProfileName.data(), kProfileName.size());
    std::memcpy(chunk + 8 + kProfileName.size(), data, length);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), chunk + 4, static_cast<uInt>(4 + newLength));
    WriteBigEndian(chunk + 8 + newLength, static_cast<uint32_t>(crc));
    const size_t rest = at + 12 + length;
    std::memcpy(chunk + 12 + newLength, file.data() + rest, file.size() - rest);

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(named.data()), static_cast<std::streamsize>(named.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace tallowin::metadata
