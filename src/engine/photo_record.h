#pragma once
// One photo of the list: a value, copied whole.

#include "output_settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tallowin {

struct PhotoRecord {
    std::string sourcePath;    // the file the codec service decodes (a temporary BMP for a WDP photo)
    std::string wdpPath;       // for a WDP photo, the WDP file its temporary BMP is decoded from
    std::string fileName;      // name and extension of the file the user added
    std::string timeText;      // modification time, "2011/03/05 14:07:09"
    int32_t width = 1;
    int32_t height = 1;
    OutputSettings settings;
    std::string outputPath;    // filled by the conversion run just before the photo is converted
    int64_t modificationTime = 0;  // seconds since 1970-01-01 00:00 UTC
    uint64_t id = 0;           // unique within the window's list (given when added); 0 in the batch tool

    bool operator==(const PhotoRecord&) const = default;
};

// The ordered list; list order is conversion order. The photo count is size().
using PhotoList = std::vector<PhotoRecord>;

}  // namespace tallowin
