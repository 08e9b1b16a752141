#pragma once
// Reading a photo file into a fresh record: the step that adding photos to the window's
// list and the batch tool share.

#include "output_settings.h"
#include "photo_record.h"
#include "wdp_codec_library.h"
#include "window_port.h"

#include <string>

namespace tallowin {

// Fills `record` from a file: measures it (header only), reads its file time and gives
// it `settings` with its output size. A ".wdp" file is decoded into a BMP of its own in
// the private temporary folder first. False (messages through the port) when the file
// cannot be a photo.
bool ReadPhotoFile(const std::string& path, const OutputSettings& settings, WdpCodecLibrary& wdp, WindowPort& port,
                   PhotoRecord& record);

// The file's modification time into the record (time text and seconds).
bool ReadFileTime(const std::string& path, WindowPort& port, PhotoRecord& record);

}  // namespace tallowin
