#pragma once
// The conversion of one photo: decode, scale into a white 24-bit working bitmap,
// stamp the window's text, rotate and flip, encode in the photo's output format.
// Failures are shown through the window port (or written to the activity log) as
// they happen; nothing is retried.

#include "gdiplus.h"
#include "main_window_model.h"
#include "photo_record.h"

#include <optional>
#include <string>

namespace tallowin {

// How one conversion ended, for callers that count results (the batch tool).
enum class ConversionOutcome {
    Converted,     // the output file was written
    Damaged,       // written, but the source decoded only in part (a log line says so)
    Failed,        // nothing was written, or the encoder reported a failure
    Declined,      // the output exists and the overwrite question was not answered Yes
    NothingToDo,   // an output format code outside the known ones: nothing written
};

// The RotateFlipType for an angle (0, 90, 180, 270) and a flip code (0 none,
// 1 horizontal, 2 vertical); nullopt for any other angle. An unknown flip code
// counts as no flip.
std::optional<RotateFlipType> RotateFlipFor(int32_t angle, int32_t flip);

class PhotoConverter {
public:
    // `tempFolder` holds this converter's fixed temporary names (ends in '/');
    // converters that run at the same time need folders of their own.
    PhotoConverter(MainWindowModel& model, std::string tempFolder);

    // Converts `photo` to photo.outputPath. True where the conversion counts as
    // done (also for an unknown output format, which writes nothing).
    bool ConvertPhoto(const PhotoRecord& photo);

    // Outcome of the last ConvertPhoto call.
    ConversionOutcome LastOutcome() const { return outcome_; }

    // Fixed temporary names of this converter ("BMP5749.TMP" for 22345).
    std::string TempName(unsigned unique) const;

private:
    bool Convert(const PhotoRecord& photo);
    void DrawStamp(const PhotoRecord& photo, GpGraphics* graphics, int32_t width, int32_t height);
    bool Encode(const PhotoRecord& photo, GpBitmap* bitmap);
    bool SaveWithEncoder(GpBitmap* bitmap, const PhotoRecord& photo, const char16_t* mimeType,
                         const EncoderParameters* parameters);
    bool EncodeWdp(const PhotoRecord& photo, GpBitmap* bitmap);
    // The indexed outputs (indexed_output.cpp).
    bool EncodeIndexedBmp(const PhotoRecord& photo, GpBitmap* bitmap, int32_t pixelFormatCode);
    bool EncodeGif(const PhotoRecord& photo, GpBitmap* bitmap);

    // Composes the fixed temporary name for `unique` (+ `suffix`) and removes a file
    // standing there, reporting a failure and going on.
    std::string PrepareTempName(unsigned unique, const std::string& suffix = {});

    void Report(const std::string& text, const std::string& caption);
    void Log(const std::string& line);

    MainWindowModel& model_;
    std::string tempFolder_;
    ConversionOutcome outcome_ = ConversionOutcome::Failed;
};

}  // namespace tallowin
