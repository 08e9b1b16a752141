#pragma once
// The conversion of one photo: decode, scale into a white 24-bit working bitmap,
// stamp the host's text, rotate and flip, encode in the photo's output format.
// Failures are shown through the host (or written to its log) as they happen and
// returned in the outcome; nothing is retried.

#include "conversion_host.h"
#include "conversion_outcome.h"
#include "gdiplus.h"
#include "photo_record.h"

#include <optional>
#include <string>

namespace tallowin {

// The RotateFlipType for an angle (0, 90, 180, 270) and a flip code (0 none,
// 1 horizontal, 2 vertical); nullopt for any other angle. An unknown flip code
// counts as no flip.
std::optional<RotateFlipType> RotateFlipFor(int32_t angle, int32_t flip);

// True for the output format codes whose files hold photo information and a colour
// profile; the others get sRGB pixels and nothing else.
bool OutputCarriesPhotoInformation(int32_t outputFormat);

class PhotoConverter {
public:
    // `tempFolder` holds this converter's fixed temporary names (ends in '/');
    // converters that run at the same time need folders of their own.
    PhotoConverter(ConversionHost& host, std::string tempFolder);

    // Converts `photo` to photo.outputPath, asking the host first when that file
    // exists. An output format code outside the known ones writes nothing and is skipped.
    ConversionOutcome ConvertPhoto(const PhotoRecord& photo);

    // Fixed temporary names of this converter ("BMP5749.TMP" for 22345).
    std::string TempName(unsigned unique) const;

private:
    ConversionOutcome Convert(const PhotoRecord& photo);
    // Keep both: converts to the first free numbered name beside the existing output.
    ConversionOutcome ConvertBeside(const PhotoRecord& photo);
    // Reports `text` and returns it, with `detail` when given, as the reason of a failure.
    ConversionOutcome Fail(const std::string& text, const std::string& caption, const std::string& detail = {});
    void DrawStamp(const PhotoRecord& photo, GpGraphics* graphics, int32_t width, int32_t height);
    bool Encode(const PhotoRecord& photo, GpBitmap* bitmap);
    // Writes the photo's information, as the host chose, into the encoded output at
    // `stagedPath` before it is renamed into place; a failure is logged, not returned.
    void CarryInformation(const std::string& stagedPath);
    // Logs information that could not be kept (in part or at all).
    void LogInformation(const metadata::MetadataResult& result);
    bool SaveWithEncoder(GpBitmap* bitmap, const PhotoRecord& photo, const char16_t* mimeType,
                         const EncoderParameters* parameters);
    bool EncodeWdp(const PhotoRecord& photo, GpBitmap* bitmap);
    // The indexed outputs (indexed_output.cpp).
    bool EncodeIndexedBmp(const PhotoRecord& photo, GpBitmap* bitmap, int32_t pixelFormatCode);
    bool EncodeGif(const PhotoRecord& photo, GpBitmap* bitmap);

    // Composes the fixed temporary name for `unique` (+ `suffix`) and removes a file
    // standing there, reporting a failure and going on.
    std::string PrepareTempName(unsigned unique, const std::string& suffix = {});

    // Shows a message; the last one shown is the reason of an encode that fails.
    void Report(const std::string& text, const std::string& caption, const std::string& detail = {});
    void Log(const std::string& line);

    ConversionHost& host_;
    std::string tempFolder_;
    std::string lastReport_;  // text of the last message of the photo in hand
    // What the photo in hand keeps, and the file its information is read from.
    metadata::MetadataOptions information_;
    std::string informationSource_;
};

}  // namespace tallowin
