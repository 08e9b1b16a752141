#pragma once
// What the conversion of one photo asks of whoever runs it: the window (its boxes,
// font and colour, through the window port) or the batch tool (its options). Calls
// come from the converting thread; a host serves them on whatever thread it must.

#include "gdiplus.h"  // LOGFONTA
#include "photo_metadata.h"
#include "replace_question.h"

#include <cstdint>
#include <string>

namespace tallowin {

class WdpCodecLibrary;

// The text stamp as it stands for the next photo.
struct StampRequest {
    std::string text;  // empty: no stamp (the position is then not read)
    int32_t x = 0;     // layout origin in pixels of the scaled, unturned picture
    int32_t y = 0;
    LOGFONTA font{};
    uint32_t colour = 0;  // red in the low byte, then green, then blue
};

enum class StampAxis { X, Y };

class ConversionHost {
public:
    virtual ~ConversionHost() = default;

    // The stamp for the photo in hand, read now, so a change made during a run applies
    // from the next photo on.
    virtual StampRequest NextStamp() = 0;
    // The stamp's position on `axis` was outside this photo and the stamp was drawn at 0
    // there instead (the log has said so).
    virtual void StampPositionReset(StampAxis axis) = 0;

    // The output file `path` exists: replace it, keep it (the photo is skipped) or
    // keep both. `question` names the file. An answer "to all" stands for the rest of
    // the run. Questions come in list order, from one converting thread at a time or
    // from several.
    virtual ReplaceAnswer AskReplace(const std::string& question, const std::string& path) = 0;
    // A message for the user (an OK box in the window); the conversion waits for it.
    // `detail` says why when the text does not ("damaged", "out of memory"): the log
    // has it already; a host that prints one line per message may add it there.
    virtual void ShowMessage(const std::string& text, const std::string& caption, const std::string& detail) = 0;
    // One line of the activity log (the host adds the time).
    virtual void Log(const std::string& line) = 0;

    // The WDP library: it encodes WDP outputs and decodes WDP sources anew for each
    // conversion. Null when it is not available.
    virtual WdpCodecLibrary* WdpLibrary() = 0;

    // What the outputs keep of each photo's information (EXIF, XMP, IPTC, location),
    // read for each photo. Hosts without a choice keep everything.
    virtual metadata::MetadataOptions PhotoInformation() { return {}; }
};

}  // namespace tallowin
