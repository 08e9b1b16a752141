#pragma once
// Builds small WMF and EMF files in memory for the metafile tests: a frame, and
// text records holding whatever bytes a test wants to hand the libraries.

#include <algorithm>
#include <cstdint>
#include <string>

namespace tallowin::test {

class ByteWriter {
public:
    void U16(uint32_t v) {
        bytes_ += static_cast<char>(v & 0xFF);
        bytes_ += static_cast<char>((v >> 8) & 0xFF);
    }
    void I16(int32_t v) { U16(static_cast<uint16_t>(static_cast<int16_t>(v))); }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v) {
        uint32_t bits = 0;
        static_assert(sizeof bits == sizeof v);
        __builtin_memcpy(&bits, &v, sizeof bits);
        U32(bits);
    }
    void Raw(const std::string& s) { bytes_ += s; }
    void PadTo(size_t multiple) {
        while (bytes_.size() % multiple != 0) bytes_ += '\0';
    }
    size_t Size() const { return bytes_.size(); }
    void PatchU32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// A placeable WMF whose frame runs from (left, top) to (right, bottom) at 96 units per
// inch, drawing into a window of the same extent: a filled rectangle over the whole
// frame when `fill` is set, then `text` (8-bit, as stored) at (x, y).
inline std::string CraftWmf(int16_t left, int16_t top, int16_t right, int16_t bottom, const std::string& text,
                            bool fill = false) {
    ByteWriter records;
    uint32_t largest = 0;  // words
    const auto record = [&](uint16_t function, const ByteWriter& params) {
        const uint32_t words = static_cast<uint32_t>(3 + params.Size() / 2);
        largest = std::max(largest, words);
        records.U32(words);
        records.U16(function);
        records.Raw(params.Bytes());
    };
    {
        ByteWriter p;  // SetWindowOrg: y, x
        p.I16(top);
        p.I16(left);
        record(0x020B, p);
    }
    {
        ByteWriter p;  // SetWindowExt: height, width
        p.I16(bottom - top);
        p.I16(right - left);
        record(0x020C, p);
    }
    if (fill) {
        ByteWriter brush;  // CreateBrushIndirect: solid blue
        brush.U16(0);      // BS_SOLID
        brush.U32(0x00FF0000);
        brush.U16(0);
        record(0x02FC, brush);
        ByteWriter select;  // SelectObject 0
        select.U16(0);
        record(0x012D, select);
        ByteWriter rect;  // Rectangle: bottom, right, top, left
        rect.I16(bottom);
        rect.I16(right);
        rect.I16(top);
        rect.I16(left);
        record(0x041B, rect);
    }
    if (!text.empty()) {
        ByteWriter p;  // TextOut: count, string (padded to a word), y, x
        p.U16(static_cast<uint16_t>(text.size()));
        p.Raw(text);
        p.PadTo(2);
        p.I16(top + 20);
        p.I16(left + 2);
        record(0x0521, p);
    }
    record(0x0000, ByteWriter{});  // end of file

    ByteWriter file;
    file.U32(0x9AC6CDD7);
    file.U16(0);
    file.I16(left);
    file.I16(top);
    file.I16(right);
    file.I16(bottom);
    file.U16(96);
    file.U32(0);
    uint16_t checksum = 0;
    for (size_t i = 0; i + 1 < file.Size(); i += 2) {
        checksum ^= static_cast<uint16_t>(static_cast<uint8_t>(file.Bytes()[i]) |
                                          static_cast<uint8_t>(file.Bytes()[i + 1]) << 8);
    }
    file.U16(checksum);
    // Standard header: disk metafile, 9 words, version 3.0, size in words, the
    // number of objects, the largest record in words, no parameters.
    file.U16(1);
    file.U16(9);
    file.U16(0x0300);
    file.U32(static_cast<uint32_t>(9 + records.Size() / 2));
    file.U16(fill ? 1 : 0);
    file.U32(largest);
    file.U16(0);
    file.Raw(records.Bytes());
    return file.Bytes();
}

// An EMF of width x height pixels (MM_TEXT, 96 dpi) with one ExtTextOutW record
// holding `text` (ASCII, stored as UTF-16).
inline std::string CraftEmf(int32_t width, int32_t height, const std::string& text) {
    ByteWriter body;
    uint32_t records = 1;
    if (!text.empty()) {
        ++records;
        const size_t at = body.Size();
        const uint32_t chars = static_cast<uint32_t>(text.size());
        body.U32(84);  // EMR_EXTTEXTOUTW
        body.U32(0);   // size, patched below
        body.I32(0), body.I32(0), body.I32(width - 1), body.I32(height - 1);
        body.U32(1);  // GM_COMPATIBLE
        body.F32(1.0f);
        body.F32(1.0f);
        body.I32(2), body.I32(20);  // reference point
        body.U32(chars);
        body.U32(76);  // string offset from the record's start
        body.U32(0);   // options
        body.I32(0), body.I32(0), body.I32(-1), body.I32(-1);
        const uint32_t dxAt = 76 + ((chars * 2 + 3) / 4) * 4;
        body.U32(dxAt);
        for (char c : text) body.U16(static_cast<uint8_t>(c));
        body.PadTo(4);
        for (uint32_t i = 0; i < chars; ++i) body.U32(8);
        body.PatchU32(at + 4, static_cast<uint32_t>(body.Size() - at));
    }
    ++records;
    body.U32(14);  // EMR_EOF
    body.U32(20);
    body.U32(0);
    body.U32(16);
    body.U32(20);

    ByteWriter file;
    file.U32(1);    // EMR_HEADER
    file.U32(108);
    file.I32(0), file.I32(0), file.I32(width - 1), file.I32(height - 1);  // bounds, pixels
    // Frame in 0.01 mm at 96 dpi.
    file.I32(0), file.I32(0), file.I32(width * 2540 / 96), file.I32(height * 2540 / 96);
    file.U32(0x464D4520);
    file.U32(0x10000);
    file.U32(static_cast<uint32_t>(108 + body.Size()));
    file.U32(records);
    file.U16(1);
    file.U16(0);
    file.U32(0), file.U32(0), file.U32(0);         // description, palette
    file.I32(1024), file.I32(768);                  // device, pixels
    file.I32(1024 * 254 / 960), file.I32(768 * 254 / 960);  // device, millimetres
    file.U32(0), file.U32(0), file.U32(0);         // pixel format, OpenGL
    file.I32(1024 * 254'000 / 960), file.I32(768 * 254'000 / 960);  // device, micrometres
    file.Raw(body.Bytes());
    return file.Bytes();
}

}  // namespace tallowin::test
