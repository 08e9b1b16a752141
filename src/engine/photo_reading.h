#pragma once
// Reading a photo file into a fresh record: the step that adding photos to the window's
// list and the batch tool share.

#include "output_settings.h"
#include "photo_record.h"
#include "wdp_codec_library.h"
#include "window_port.h"

#include <string>

namespace tallowin {

// Why a file could not become a photo.
struct ReadFailure {
    std::string reason;   // one sentence; the file-error texts name the file themselves
    std::string caption;  // the caption of the box that reports this failure on its own; empty when none does
    bool namesFile = false;  // `reason` already holds the file's path
};

// Fills `record` from a file: measures it (header only), reads its file time and gives
// it `settings` with its output size. A ".wdp" file is decoded into a BMP of its own in
// the private temporary folder first. False (messages through the port) when the file
// cannot be a photo.
bool ReadPhotoFile(const std::string& path, const OutputSettings& settings, WdpCodecLibrary& wdp, WindowPort& port,
                   PhotoRecord& record);
// The same, except that a file that cannot be a photo is not reported: `failure` says
// why, for one report of all the files of an add. Boxes about a photo that is still
// added (its file time could not be read) are shown as above.
bool ReadPhotoFile(const std::string& path, const OutputSettings& settings, WdpCodecLibrary& wdp, WindowPort& port,
                   PhotoRecord& record, ReadFailure& failure);

// The file's modification time into the record (time text and seconds).
bool ReadFileTime(const std::string& path, WindowPort& port, PhotoRecord& record);

}  // namespace tallowin
