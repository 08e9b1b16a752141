// Photo information in a JPEG XR file. The container is a little-endian TIFF-like
// directory; libjxr (through libphoto.so) writes one without any information. The
// blocks and a new directory (the old entries plus the new ones, sorted) are appended
// to the file and the header is pointed at the new directory last, so a write that
// fails half-way leaves the old, complete file in effect. Nothing already in the file
// moves, so every offset the old entries hold stays true.
#include "container_metadata.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>

namespace tallowin::metadata::detail {
namespace {

constexpr size_t kHeaderSize = 8;
constexpr size_t kEntrySize = 12;
constexpr uint16_t kMaxEntries = 4096;

constexpr uint16_t kTypeByte = 1;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeUndefined = 7;

constexpr uint16_t kTagXmp = 0x02BC;
constexpr uint16_t kTagIptc = 0x83BB;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagIcc = 0x8773;
constexpr uint16_t kTagGpsIfd = 0x8825;
constexpr uint16_t kTagInteropIfd = 0xA005;
constexpr uint16_t kTagImageOffset = 0xBCC0;
constexpr uint16_t kTagAlphaOffset = 0xBCC2;
constexpr uint16_t kTagAlphaByteCount = 0xBCC3;
// The EXIF IFD0 tags a JPEG XR directory holds as its descriptive information.
constexpr std::array<uint16_t, 7> kDescriptiveTags = {0x010E, 0x010F, 0x0110, 0x0131, 0x0132, 0x013B, 0x8298};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

uint64_t TypeSize(uint16_t type)
{
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;
        case 5:
        case 10:
        case 12:
            return 8;
        default:
            return 0;
    }
}

struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint8_t value[4] = {};
};

// The bytes appended to the file, which start at `base` (an even offset).
class Tail {
public:
    explicit Tail(uint64_t base) : base_(base) {}

    // Appends `size` bytes at an even offset; returns that offset in the file.
    uint64_t Place(const uint8_t* data, size_t size)
    {
        if (bytes_.size() % 2 != 0) {
            bytes_.push_back(0);
        }
        const uint64_t at = base_ + bytes_.size();
        bytes_.insert(bytes_.end(), data, data + size);
        return at;
    }
    uint8_t* At(uint64_t offset) { return bytes_.data() + (offset - base_); }
    uint64_t End() const { return base_ + bytes_.size(); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    uint64_t base_;
    std::vector<uint8_t> bytes_;
};

// Moves the IFD at `ifd` (an offset in the TIFF structure copied to `base` in the
// tail) to file offsets: out-of-line values and sub-IFD pointers gain `base`, the
// next-IFD link is cut. False when the structure points outside itself.
bool Relocate(Tail& tail, uint64_t base, uint64_t size, uint32_t ifd, int depth, std::set<uint32_t>& seen)
{
    if (depth > 4 || !seen.insert(ifd).second || ifd + uint64_t(2) > size) {
        return false;
    }
    uint8_t* start = tail.At(base + ifd);
    const uint16_t count = Le16(start);
    if (ifd + 2 + uint64_t(count) * kEntrySize + 4 > size) {
        return false;
    }
    for (uint16_t i = 0; i < count; ++i) {
        uint8_t* entry = start + 2 + i * kEntrySize;
        const uint16_t tag = Le16(entry);
        const uint16_t type = Le16(entry + 2);
        const uint64_t bytes = TypeSize(type) * Le32(entry + 4);
        const uint32_t value = Le32(entry + 8);
        if (tag == kTagInteropIfd || tag == kTagGpsIfd || tag == kTagExifIfd) {
            if (!Relocate(tail, base, size, value, depth + 1, seen)) {
                return false;
            }
            Put32(entry + 8, static_cast<uint32_t>(base + value));
        } else if (bytes > 4) {
            if (value + bytes > size) {
                return false;
            }
            Put32(entry + 8, static_cast<uint32_t>(base + value));
        }
    }
    Put32(start + 2 + count * kEntrySize, 0);
    return true;
}

// The entries the EXIF structure gives the JPEG XR directory: its EXIF and GPS IFDs and
// the descriptive tags of its IFD0, the structure itself copied into the tail.
bool ExifEntries(Tail& tail, const std::vector<uint8_t>& exif, std::vector<Entry>& entries)
{
    const uint64_t size = exif.size();
    if (size < 8 || exif[0] != 'I' || exif[1] != 'I' || Le16(exif.data() + 2) != 42) {
        return false;
    }
    const uint64_t base = tail.Place(exif.data(), exif.size());
    const uint32_t ifd0 = Le32(exif.data() + 4);
    if (ifd0 + uint64_t(2) > size) {
        return false;
    }
    const uint16_t count = Le16(exif.data() + ifd0);
    if (ifd0 + 2 + uint64_t(count) * kEntrySize > size) {
        return false;
    }
    std::set<uint32_t> seen{ifd0};
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* raw = exif.data() + ifd0 + 2 + i * kEntrySize;
        Entry entry;
        entry.tag = Le16(raw);
        entry.type = Le16(raw + 2);
        entry.count = Le32(raw + 4);
        const uint32_t value = Le32(raw + 8);
        if (entry.tag == kTagExifIfd || entry.tag == kTagGpsIfd) {
            if (!Relocate(tail, base, size, value, 1, seen)) {
                return false;
            }
            Put32(entry.value, static_cast<uint32_t>(base + value));
        } else if (std::find(kDescriptiveTags.begin(), kDescriptiveTags.end(), entry.tag) != kDescriptiveTags.end()) {
            const uint64_t bytes = TypeSize(entry.type) * entry.count;
            if (bytes > 4) {
                if (value + bytes > size) {
                    return false;
                }
                Put32(entry.value, static_cast<uint32_t>(base + value));
            } else {
                std::memcpy(entry.value, raw + 8, 4);
            }
        } else {
            continue;
        }
        entries.push_back(entry);
    }
    return true;
}

Entry BlockEntry(Tail& tail, uint16_t tag, uint16_t type, const uint8_t* data, size_t size)
{
    Entry entry{tag, type, static_cast<uint32_t>(size), {}};
    if (size <= 4) {
        std::memcpy(entry.value, data, size);
    } else {
        Put32(entry.value, static_cast<uint32_t>(tail.Place(data, size)));
    }
    return entry;
}

MetadataResult Failure(const std::string& why) { return {MetadataStatus::Failed, "writing photo information: " + why}; }

}  // namespace

bool IsJxrFile(const uint8_t* head, size_t size)
{
    return size >= 4 && head[0] == 'I' && head[1] == 'I' && head[2] == 0xBC && head[3] <= 1;
}

bool JxrPixelSize(const std::string& path, int32_t& width, int32_t& height)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    uint8_t header[kHeaderSize];
    uint8_t countBytes[2];
    if (!file || std::fread(header, 1, sizeof header, file.get()) != sizeof header ||
        !IsJxrFile(header, sizeof header) || fseeko(file.get(), Le32(header + 4), SEEK_SET) != 0 ||
        std::fread(countBytes, 1, 2, file.get()) != 2) {
        return false;
    }
    const uint16_t count = std::min<uint16_t>(Le16(countBytes), kMaxEntries);
    for (uint16_t i = 0; i < count; ++i) {
        uint8_t entry[kEntrySize];
        if (std::fread(entry, 1, sizeof entry, file.get()) != sizeof entry) {
            return false;
        }
        if (Le16(entry) != kTagImageOffset) {
            continue;
        }
        const uint32_t offset = Le16(entry + 2) == 3 ? Le16(entry + 8) : Le32(entry + 8);
        uint8_t stream[20];
        if (fseeko(file.get(), offset, SEEK_SET) != 0 ||
            std::fread(stream, 1, sizeof stream, file.get()) != sizeof stream ||
            std::memcmp(stream, "WMPHOTO", 8) != 0) {
            return false;
        }
        // Width and height less one, big-endian: 16 bits each in a short header, else 32.
        const bool shortHeader = (stream[10] & 0x80) != 0;
        const uint64_t w = shortHeader ? (stream[12] << 8 | stream[13])
                                       : (uint64_t(stream[12]) << 24 | stream[13] << 16 | stream[14] << 8 | stream[15]);
        const uint64_t h = shortHeader ? (stream[14] << 8 | stream[15])
                                       : (uint64_t(stream[16]) << 24 | stream[17] << 16 | stream[18] << 8 | stream[19]);
        if (w >= INT32_MAX || h >= INT32_MAX) {
            return false;
        }
        width = static_cast<int32_t>(w + 1);
        height = static_cast<int32_t>(h + 1);
        return true;
    }
    return false;
}

namespace {

// Builds a little-endian TIFF structure from the EXIF-related entries of a JPEG XR
// directory: IFD0 with the descriptive tags and the EXIF and GPS IFDs, each copied
// with its out-of-line values, offsets made relative to the new structure.
class TiffBuilder {
public:
    explicit TiffBuilder(const std::vector<uint8_t>& file) : file_(file) {}

    // Copies the IFD at `at` in the file; returns its offset in the structure, 0 when
    // it points outside the file (or loops).
    uint32_t CopyIfd(uint32_t at, int depth)
    {
        if (depth > 4 || !seen_.insert(at).second || at + uint64_t(2) > file_.size()) {
            return 0;
        }
        const uint16_t count = Le16(file_.data() + at);
        if (count > kMaxEntries || at + 2 + uint64_t(count) * kEntrySize + 4 > file_.size()) {
            return 0;
        }
        std::vector<Entry> entries;
        for (uint16_t i = 0; i < count; ++i) {
            const uint8_t* raw = file_.data() + at + 2 + i * kEntrySize;
            entries.push_back(Entry{Le16(raw), Le16(raw + 2), Le32(raw + 4), {raw[8], raw[9], raw[10], raw[11]}});
        }
        return Write(entries, depth);
    }

    // Writes `entries` as an IFD, their values and sub-IFDs after it.
    uint32_t Write(std::vector<Entry> entries, int depth)
    {
        Align();
        const size_t ifd = out_.size();
        out_.resize(ifd + 2 + entries.size() * kEntrySize + 4, 0);
        size_t kept = 0;
        for (Entry entry : entries) {
            const uint32_t value = Le32(entry.value);
            const uint64_t bytes = TypeSize(entry.type) * entry.count;
            if (entry.tag == kTagExifIfd || entry.tag == kTagGpsIfd || entry.tag == kTagInteropIfd) {
                const uint32_t child = CopyIfd(value, depth + 1);
                if (child == 0) {
                    continue;
                }
                Put32(entry.value, child);
            } else if (bytes > 4) {
                if (TypeSize(entry.type) == 0 || value + bytes > file_.size()) {
                    continue;
                }
                Align();
                Put32(entry.value, static_cast<uint32_t>(out_.size()));
                out_.insert(out_.end(), file_.begin() + value,
                            file_.begin() + static_cast<std::ptrdiff_t>(value + bytes));
            }
            uint8_t* raw = out_.data() + ifd + 2 + kept * kEntrySize;
            Put16(raw, entry.tag);
            Put16(raw + 2, entry.type);
            Put32(raw + 4, entry.count);
            std::memcpy(raw + 8, entry.value, 4);
            ++kept;
        }
        Put16(out_.data() + ifd, static_cast<uint32_t>(kept));
        // Entries left out leave room at the end of the IFD; the next-IFD link is 0.
        return static_cast<uint32_t>(ifd);
    }

    std::vector<uint8_t> Take() { return std::move(out_); }

private:
    void Align()
    {
        if (out_.size() % 2 != 0) {
            out_.push_back(0);
        }
    }

    const std::vector<uint8_t>& file_;
    std::vector<uint8_t> out_{'I', 'I', 42, 0, 8, 0, 0, 0};
    std::set<uint32_t> seen_;
};

// A whole JPEG XR file beyond this is not read for its information.
constexpr uint64_t kMaxReadSize = 1ull << 30;

}  // namespace

MetadataRead ReadJxrMetadata(const std::string& path)
{
    MetadataRead read;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file || fseeko(file.get(), 0, SEEK_END) != 0) {
        read.result = {MetadataStatus::Failed, "reading photo information: the file cannot be opened"};
        return read;
    }
    const off_t size = ftello(file.get());
    if (size < off_t(kHeaderSize) || uint64_t(size) > kMaxReadSize) {
        read.result = {MetadataStatus::Failed, "reading photo information: the file is too short or too large"};
        return read;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    std::rewind(file.get());
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        !IsJxrFile(bytes.data(), bytes.size())) {
        read.result = {MetadataStatus::Failed, "reading photo information: the file cannot be read"};
        return read;
    }
    const uint32_t ifd = Le32(bytes.data() + 4);
    if (ifd + uint64_t(2) > bytes.size()) {
        read.result = {MetadataStatus::Failed, "reading photo information: the directory lies outside the file"};
        return read;
    }
    const uint16_t count = Le16(bytes.data() + ifd);
    if (count > kMaxEntries || ifd + 2 + uint64_t(count) * kEntrySize > bytes.size()) {
        read.result = {MetadataStatus::Failed, "reading photo information: the directory is damaged"};
        return read;
    }
    std::vector<Entry> exifEntries;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* raw = bytes.data() + ifd + 2 + i * kEntrySize;
        const Entry entry{Le16(raw), Le16(raw + 2), Le32(raw + 4), {raw[8], raw[9], raw[10], raw[11]}};
        const uint64_t length = TypeSize(entry.type) * entry.count;
        const uint64_t at = length > 4 ? Le32(entry.value) : ifd + 2 + i * kEntrySize + 8;
        const bool inFile = at + length <= bytes.size();
        const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(at);
        if (entry.tag == kTagIcc && inFile) {
            read.metadata.icc.assign(begin, begin + static_cast<std::ptrdiff_t>(length));
            if (read.metadata.icc.size() < 20 || std::memcmp(read.metadata.icc.data() + 16, "RGB ", 4) != 0) {
                read.metadata.icc.clear();
            }
        } else if (entry.tag == kTagXmp && inFile) {
            read.metadata.xmp.assign(begin, begin + static_cast<std::ptrdiff_t>(length));
            while (!read.metadata.xmp.empty() && read.metadata.xmp.back() == '\0') {
                read.metadata.xmp.pop_back();
            }
        } else if (entry.tag == kTagIptc && inFile) {
            read.metadata.iptc.assign(begin, begin + static_cast<std::ptrdiff_t>(length));
        } else if (entry.tag == kTagExifIfd || entry.tag == kTagGpsIfd ||
                   std::find(kDescriptiveTags.begin(), kDescriptiveTags.end(), entry.tag) != kDescriptiveTags.end()) {
            exifEntries.push_back(entry);
        }
    }
    if (!exifEntries.empty()) {
        TiffBuilder builder(bytes);
        builder.Write(exifEntries, 0);
        read.metadata.exif = builder.Take();
    }
    if (!read.metadata.Empty()) {
        read.result.status = MetadataStatus::Done;
    }
    return read;
}

MetadataResult WriteJxrInformation(const std::string& path, const PhotoMetadata& information)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r+b"));
    if (!file) {
        return Failure("the file cannot be opened");
    }
    uint8_t header[kHeaderSize];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header || !IsJxrFile(header, sizeof header)) {
        return Failure("not a JPEG XR file");
    }
    if (fseeko(file.get(), 0, SEEK_END) != 0) {
        return Failure("the file cannot be read");
    }
    const off_t fileSize = ftello(file.get());
    const uint32_t ifd = Le32(header + 4);
    uint8_t countBytes[2];
    if (fileSize < 0 || ifd + uint64_t(2) > uint64_t(fileSize) || fseeko(file.get(), ifd, SEEK_SET) != 0 ||
        std::fread(countBytes, 1, 2, file.get()) != 2) {
        return Failure("the directory lies outside the file");
    }
    const uint16_t count = Le16(countBytes);
    std::vector<uint8_t> old(size_t(count) * kEntrySize + 4);
    if (count > kMaxEntries || std::fread(old.data(), 1, old.size(), file.get()) != old.size()) {
        return Failure("the directory is damaged");
    }

    const uint64_t base = (uint64_t(fileSize) + 1) & ~uint64_t(1);
    Tail tail(base);
    std::vector<Entry> added;
    MetadataResult result;
    if (!information.exif.empty() && !ExifEntries(tail, information.exif, added)) {
        result = {MetadataStatus::Partly, "EXIF left out: its structure could not be moved into the file"};
        added.clear();
    }
    if (!information.xmp.empty()) {
        added.push_back(BlockEntry(tail, kTagXmp, kTypeByte, reinterpret_cast<const uint8_t*>(information.xmp.data()),
                                   information.xmp.size()));
    }
    if (!information.iptc.empty()) {
        added.push_back(BlockEntry(tail, kTagIptc, kTypeUndefined, information.iptc.data(), information.iptc.size()));
    }
    if (!information.icc.empty()) {
        added.push_back(BlockEntry(tail, kTagIcc, kTypeUndefined, information.icc.data(), information.icc.size()));
    }
    if (added.empty()) {
        return result;
    }

    // libjxr's encoder stores the end of the alpha plane (the file size) as its byte
    // count; once the file grows that would claim the blocks too, so the true count goes in.
    std::optional<uint32_t> alphaOffset;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* raw = old.data() + i * kEntrySize;
        if (Le16(raw) == kTagAlphaOffset && Le16(raw + 2) == kTypeLong) {
            alphaOffset = Le32(raw + 8);
        }
    }
    std::vector<Entry> entries;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* raw = old.data() + i * kEntrySize;
        Entry entry{Le16(raw), Le16(raw + 2), Le32(raw + 4), {raw[8], raw[9], raw[10], raw[11]}};
        if (entry.tag == kTagAlphaByteCount && entry.type == kTypeLong && alphaOffset &&
            Le32(entry.value) == uint64_t(fileSize) && *alphaOffset < uint64_t(fileSize)) {
            Put32(entry.value, static_cast<uint32_t>(fileSize - *alphaOffset));
        }
        const bool replaced =
            std::any_of(added.begin(), added.end(), [&](const Entry& e) { return e.tag == entry.tag; });
        if (!replaced) {
            entries.push_back(entry);
        }
    }
    entries.insert(entries.end(), added.begin(), added.end());
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    if (entries.size() > kMaxEntries || tail.End() + 2 + entries.size() * kEntrySize + 4 > UINT32_MAX) {
        return Failure("the file would grow beyond what its offsets can address");
    }

    std::vector<uint8_t> directory(2 + entries.size() * kEntrySize + 4);
    Put16(directory.data(), static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* raw = directory.data() + 2 + i * kEntrySize;
        Put16(raw, entries[i].tag);
        Put16(raw + 2, entries[i].type);
        Put32(raw + 4, entries[i].count);
        std::memcpy(raw + 8, entries[i].value, 4);
    }
    std::memcpy(directory.data() + directory.size() - 4, old.data() + old.size() - 4, 4);  // the old next link
    const uint64_t newIfd = tail.Place(directory.data(), directory.size());

    const uint8_t padding[1] = {0};
    const size_t paddingSize = static_cast<size_t>(base - uint64_t(fileSize));
    uint8_t offset[4];
    Put32(offset, static_cast<uint32_t>(newIfd));
    if (fseeko(file.get(), fileSize, SEEK_SET) != 0 ||
        std::fwrite(padding, 1, paddingSize, file.get()) != paddingSize ||
        std::fwrite(tail.Bytes().data(), 1, tail.Bytes().size(), file.get()) != tail.Bytes().size() ||
        std::fflush(file.get()) != 0 || fseeko(file.get(), 4, SEEK_SET) != 0 ||
        std::fwrite(offset, 1, sizeof offset, file.get()) != sizeof offset || std::fflush(file.get()) != 0) {
        return Failure("the file could not be written");
    }
    if (result.status == MetadataStatus::NothingToDo) {
        result.status = MetadataStatus::Done;
    }
    return result;
}

}  // namespace tallowin::metadata::detail
