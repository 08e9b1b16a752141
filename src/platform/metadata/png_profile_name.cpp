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

void AppendBigEndian(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
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

    // Walk the chunks; a chunk's length is checked against what is left before it is used.
    size_t at = kSignature.size();
    size_t profileAt = 0;
    while (at + 12 <= file.size()) {
        const uint32_t length = ReadBigEndian(&file[at]);
        if (length > file.size() - at - 12) return false;
        if (std::memcmp(&file[at + 4], "iCCP", 4) == 0) {
            profileAt = at;
            break;
        }
        if (std::memcmp(&file[at + 4], "IDAT", 4) == 0) return true;  // the profile comes before the pixels
        at += 12 + size_t{length};
    }
    if (profileAt == 0) return true;
    const uint32_t length = ReadBigEndian(&file[profileAt]);
    const uint8_t* data = &file[profileAt + 8];
    if (length == 0 || data[0] != 0) return true;  // named already

    // Data of the chunk: name, NUL, compression method, compressed profile.
    std::vector<uint8_t> chunk;
    AppendBigEndian(chunk, static_cast<uint32_t>(length + kProfileName.size()));
    chunk.insert(chunk.end(), {'i', 'C', 'C', 'P'});
    chunk.insert(chunk.end(), kProfileName.begin(), kProfileName.end());
    chunk.insert(chunk.end(), data, data + length);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
    AppendBigEndian(chunk, static_cast<uint32_t>(crc));

    std::vector<uint8_t> named(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(profileAt));
    named.insert(named.end(), chunk.begin(), chunk.end());
    named.insert(named.end(), file.begin() + static_cast<std::ptrdiff_t>(profileAt + 12 + length), file.end());

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(named.data()), static_cast<std::streamsize>(named.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace tallowin::metadata
