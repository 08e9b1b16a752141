#include "photo_converter.h"

#include "convert_support.h"
#include "embedded_information.h"
#include "encoder_lookup.h"
#include "language.h"
#include "output_settings.h"
#include "paths.h"
#include "staged_output.h"
#include "wdp_codec_library.h"
#include "wdp_source.h"

#include <QString>

#include <cstdio>
#include <exception>
#include <mutex>
#include <unistd.h>

namespace tallowin {

namespace {

// Unique numbers of the fixed temporary names.
constexpr unsigned kWdpTempUnique = 12346;  // BMP303A.TMP.bmp

// The stamp text is drawn from a buffer of 64,000 UTF-16 units, terminator included.
constexpr qsizetype kStampTextUnits = 64000 - 1;

constexpr ARGB kOpaqueWhite = 0xFFFFFFFF;

// libjxr keeps no promise about running two encodes at once.
std::mutex g_wdpEncodeMutex;

std::string FormatText(const std::string& format, const std::string& value) {
    QString text = QString::fromUtf8(format);
    text.replace(QStringLiteral("%s"), QString::fromUtf8(value));
    return text.toStdString();
}

// Why the pixels of a source whose header was read could not be drawn.
std::string PixelFailureText(GpStatus status) {
    // The header was a picture's, so data the decoder cannot use is damage.
    return status == UnknownImageFormat ? "damaged" : GdipExtStatusText(status);
}

// Why the working bitmap of the output size could not be made.
std::string OutputFailureText(GpStatus status) {
    return (status == OutOfMemory || status == ValueOverflow) ? "output too large" : GdipExtStatusText(status);
}

}  // namespace

bool OutputCarriesPhotoInformation(int32_t outputFormat) {
    switch (outputFormat) {
        case FormatJpg:
        case FormatPng:
        case FormatTif:
        case FormatWdp:
        case FormatWebp:
        case FormatAvif:
        case FormatJxl: return true;
        default: return false;
    }
}

std::optional<RotateFlipType> RotateFlipFor(int32_t angle, int32_t flip) {
    // Rows: angle 0, 90, 180, 270; columns: flip none, horizontal, vertical.
    static constexpr RotateFlipType kTable[4][3] = {
        {RotateNoneFlipNone, RotateNoneFlipX, RotateNoneFlipY},
        {Rotate90FlipNone, Rotate90FlipX, Rotate90FlipY},
        {Rotate180FlipNone, Rotate180FlipX, Rotate180FlipY},
        {Rotate270FlipNone, Rotate270FlipX, Rotate270FlipY},
    };
    const int column = (flip == 1 || flip == 2) ? flip : 0;
    switch (angle) {
        case 0: return kTable[0][column];
        case 90: return kTable[1][column];
        case 180: return kTable[2][column];
        case 270: return kTable[3][column];
        default: return std::nullopt;
    }
}

PhotoConverter::PhotoConverter(ConversionHost& host, std::string tempFolder)
    : host_(host), tempFolder_(std::move(tempFolder)) {}

std::string PhotoConverter::TempName(unsigned unique) const {
    return TempFileName(tempFolder_, "BMP", unique);
}

void PhotoConverter::Report(const std::string& text, const std::string& caption, const std::string& detail) {
    lastReport_ = detail.empty() ? text : text + " (" + detail + ")";
    host_.ShowMessage(text, caption, detail);
}

ConversionOutcome PhotoConverter::Fail(const std::string& text, const std::string& caption, const std::string& detail) {
    Report(text, caption, detail);
    return ConversionOutcome::Failure(lastReport_);
}

void PhotoConverter::Log(const std::string& line) {
    host_.Log(line);
}

std::string PhotoConverter::PrepareTempName(unsigned unique, const std::string& suffix) {
    std::string name = TempName(unique);
    if (name.empty()) {
        // Without a name the save that follows fails and says so; never a relative path.
        Report("Can not get the temporary bitmap filename!", GetText(IDS_ERROR));
        return name;
    }
    name += suffix;
    if (access(name.c_str(), F_OK) == 0 && std::remove(name.c_str()) != 0) {
        Report("Can not delete the temporary bitmap filename!", GetText(IDS_ERROR));
    }
    return name;
}

ConversionOutcome PhotoConverter::ConvertPhoto(const PhotoRecord& photo) {
    lastReport_.clear();
    if (!FileExists(photo.outputPath)) {
        return Convert(photo);
    }
    // The old file is not deleted after Yes: the new one replaces it by a rename
    // once it is complete, so a conversion that fails keeps the old file.
    switch (host_.AskReplace(FormatText(GetText(IDS_FILE_EXISTS_REPLACE), photo.outputPath), photo.outputPath)) {
        case ReplaceAnswer::Replace: return Convert(photo);
        case ReplaceAnswer::Keep: return ConversionOutcome::Skip("the existing file was kept");
        case ReplaceAnswer::KeepBoth: break;
    }
    return ConvertBeside(photo);
}

ConversionOutcome PhotoConverter::ConvertBeside(const PhotoRecord& photo) {
    PhotoRecord beside = photo;
    beside.outputPath = ClaimFreeNameBeside(photo.outputPath);
    if (beside.outputPath.empty()) {
        return Fail(GetText(IDS_SAVE_FAILED), photo.outputPath, "no free name beside the existing file");
    }
    ConversionOutcome outcome = Convert(beside);
    if (outcome.Written()) {
        outcome.writtenAs = beside.outputPath;
        Log(photo.sourcePath + " The existing file was kept; written as " + beside.outputPath);
    } else {
        std::remove(beside.outputPath.c_str());  // the empty file that held the name
    }
    return outcome;
}

ConversionOutcome PhotoConverter::Convert(const PhotoRecord& photo) {
    const OutputSettings& settings = photo.settings;

    // An output that keeps the photo's information keeps its colour profile and its
    // pixels in that profile's space; every other output gets sRGB pixels.
    const bool carries = OutputCarriesPhotoInformation(settings.nOuptputFormat);
    information_ = host_.PhotoInformation();
    const bool toSrgb = !carries || !information_.keepMetadata;
    information_.keepIcc = !toSrgb;
    // A WDP photo is decoded from a temporary BMP; its information is in the WDP file.
    informationSource_ = photo.wdpPath.empty() ? photo.sourcePath : photo.wdpPath;

    // Kept until the picture has been drawn: the service decodes the pixels then.
    const WdpSourceFile sourceFile(host_.WdpLibrary(), photo);
    GpImage* rawSource = nullptr;
    const std::u16string sourceName = Utf16Path(sourceFile.Path());
    const GpStatus loadStatus = toSrgb ? GdipLoadImageFromFileICM(sourceName.c_str(), &rawSource)
                                       : GdipLoadImageFromFile(sourceName.c_str(), &rawSource);
    ImagePtr source(loadStatus == Ok ? rawSource : nullptr);
    // Why the source gives no pixels; the failed draw below reports it.
    std::string decodeFailure;
    if (loadStatus != Ok) {
        decodeFailure = GdipExtStatusText(loadStatus);
        Log(photo.sourcePath + " " + decodeFailure);
    }

    if (settings.nOutputWidth < 1) {
        return Fail(GetText(IDS_OUTPUT_WIDTH_INVALID), GetText(IDS_ERROR));
    }
    if (settings.nOutputHeight < 1) {
        return Fail(GetText(IDS_OUTPUT_HEIGHT_INVALID), GetText(IDS_ERROR));
    }
    const int32_t width = settings.nOutputWidth;
    const int32_t height = settings.nOutputHeight;

    GpBitmap* rawBitmap = nullptr;
    if (const GpStatus status = GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &rawBitmap);
        status != Ok) {
        const std::string why = OutputFailureText(status);
        Log(photo.sourcePath + " " + why);
        return Fail(GetText(IDS_CONVERT_FAILED), GetText(IDS_ERROR), why);
    }
    const BitmapPtr bitmap(rawBitmap);

    // Without a source the resolution stays at the screen's; the draw below fails.
    REAL dpi = 96.0f;
    if (source) {
        GdipGetImageHorizontalResolution(source.get(), &dpi);
    }
    if (GdipBitmapSetResolution(bitmap.get(), dpi, dpi) != Ok) {
        Report(GetText(IDS_SET_RESOLUTION_FAILED), GetText(IDS_ERROR));
    }

    {
        GpGraphics* rawGraphics = nullptr;
        if (GdipGetImageGraphicsContext(bitmap.get(), &rawGraphics) != Ok) {
            return Fail(GetText(IDS_CONVERT_FAILED), GetText(IDS_ERROR));
        }
        const GraphicsPtr graphics(rawGraphics);
        GdipGraphicsClear(graphics.get(), kOpaqueWhite);
        if (GdipSetInterpolationMode(graphics.get(), InterpolationModeHighQualityBicubic) != Ok) {
            Report(GetText(IDS_SET_INTERPOLATION_FAILED), GetText(IDS_ERROR));
        }
        const GpStatus drawStatus = GdipDrawImageRectRectI(graphics.get(), source.get(), 0, 0, width, height, 0, 0,
                                                           photo.width, photo.height, UnitPixel, nullptr, nullptr,
                                                           nullptr);
        if (drawStatus != Ok) {
            if (decodeFailure.empty()) {
                decodeFailure = PixelFailureText(drawStatus);
                Log(photo.sourcePath + " " + decodeFailure);
            }
            return Fail(GetText(IDS_CONVERT_FAILED), GetText(IDS_ERROR), decodeFailure);
        }
        DrawStamp(photo, graphics.get(), width, height);
    }

    if (const char* colour = source ? GdipExtColourWarning(source.get()) : nullptr; colour != nullptr) {
        Log(photo.sourcePath + " Colours left as they are: " + colour);
    }
    const char* const damageText = source ? GdipExtDecodeWarning(source.get()) : nullptr;
    const std::optional<std::string> damage =
        damageText != nullptr ? std::optional<std::string>(damageText) : std::nullopt;
    if (damage) {
        Log(photo.sourcePath + " Converted in part: " + *damage);
    }
    // The decoded pixels are drawn: let them go before the turn and the encoder take
    // their own memory (a full-size photo's raster is the largest buffer of a run).
    source.reset();

    const std::optional<RotateFlipType> turn = RotateFlipFor(settings.nRotateAngel, settings.nFlipType);
    if (!turn) {
        Report(GetText(IDS_UNKNOWN_ROTATE_ANGLE), GetText(IDS_ERROR));
    }
    const RotateFlipType type = turn.value_or(RotateFlipFor(0, settings.nFlipType).value());
    if (type != RotateNoneFlipNone && GdipImageRotateFlip(bitmap.get(), type) != Ok) {
        Report(GetText(IDS_ROTATE_FLIP_FAILED), GetText(IDS_ERROR));
    }

    if (!IsKnownOutputFormat(settings.nOuptputFormat)) {
        return ConversionOutcome::Skip("unknown output photo format");
    }
    lastReport_.clear();  // a warning shown before is not why an encoder fails
    if (!Encode(photo, bitmap.get())) {
        // The encoders have shown why; an encoder that failed without a word still fails.
        return ConversionOutcome::Failure(lastReport_.empty() ? GetText(IDS_SAVE_FAILED) : lastReport_);
    }
    return damage ? ConversionOutcome::InPart(*damage) : ConversionOutcome::Converted();
}

void PhotoConverter::DrawStamp(const PhotoRecord& photo, GpGraphics* graphics, int32_t width, int32_t height) {
    const StampRequest stamp = host_.NextStamp();
    if (stamp.text.empty()) {
        return;
    }
    int32_t x = stamp.x;
    int32_t y = stamp.y;
    if (x >= width || x < 0) {
        Log(photo.sourcePath + " " + GetText(IDS_TEXT_X_OUT_OF_RANGE));
        x = 0;
        host_.StampPositionReset(StampAxis::X);
    }
    if (y >= height || y < 0) {
        Log(photo.sourcePath + " " + GetText(IDS_TEXT_Y_OUT_OF_RANGE));
        y = 0;
        host_.StampPositionReset(StampAxis::Y);
    }

    const ScreenContext screen;
    GpFont* rawFont = nullptr;
    GdipCreateFontFromLogfontA(screen.Get(), &stamp.font, &rawFont);
    const FontPtr font(rawFont);
    GpSolidFill* rawBrush = nullptr;
    GdipCreateSolidFill(BrushColour(stamp.colour), &rawBrush);
    const BrushPtr brush(rawBrush);

    const std::u16string units = QString::fromUtf8(stamp.text).left(kStampTextUnits).toStdU16String();
    const RectF layout{static_cast<REAL>(x), static_cast<REAL>(y), 0.0f, 0.0f};
    GdipDrawString(graphics, units.c_str(), -1, font.get(), &layout, nullptr, brush.get());
}

bool PhotoConverter::Encode(const PhotoRecord& photo, GpBitmap* bitmap) {
    const OutputSettings& settings = photo.settings;
    switch (settings.nOuptputFormat) {
        case FormatBmp:
            if (IsIndexedPixelFormat(settings.iComboPixelFormat)) {
                return EncodeIndexedBmp(photo, bitmap, settings.iComboPixelFormat);
            }
            return SaveWithEncoder(bitmap, photo, u"image/bmp", nullptr);
        case FormatJpg:
        case FormatWebp:
        case FormatAvif:
        case FormatJxl: {
            ULONG quality = static_cast<ULONG>(EncoderQualityOf(settings));
            EncoderParameters parameters{};
            parameters.Count = 1;
            parameters.Parameter[0].Guid = EncoderQuality;
            parameters.Parameter[0].NumberOfValues = 1;
            parameters.Parameter[0].Type = EncoderParameterValueTypeLong;
            parameters.Parameter[0].Value = &quality;
            return SaveWithEncoder(bitmap, photo, EncoderMimeTypeOf(settings.nOuptputFormat), &parameters);
        }
        case FormatPng: return SaveWithEncoder(bitmap, photo, u"image/png", nullptr);
        case FormatTif: return SaveWithEncoder(bitmap, photo, u"image/tiff", nullptr);
        case FormatGif: return EncodeGif(photo, bitmap);
        case FormatWdp: return EncodeWdp(photo, bitmap);
        default: return true;
    }
}

// The codec service writes beside the output and renames into place itself; an
// output that keeps photo information is first written under a staged name, so the
// information goes in before the file appears under its name.
bool PhotoConverter::SaveWithEncoder(GpBitmap* bitmap, const PhotoRecord& photo, const char16_t* mimeType,
                                     const EncoderParameters* parameters) {
    CLSID encoder{};
    FindEncoderByMimeType(mimeType, &encoder);
    if (OutputCarriesPhotoInformation(photo.settings.nOuptputFormat)) {
        StagedOutput output(photo.outputPath);
        std::optional<EmbeddedInformation> embedded;
        if (EncoderEmbedsInformation(photo.settings.nOuptputFormat)) {
            embedded.emplace(informationSource_, information_, bitmap, parameters);
            parameters = embedded->Parameters();
        }
        if (GdipSaveImageToFile(bitmap, Utf16Path(output.TemporaryPath()).c_str(), &encoder, parameters) != Ok) {
            Report(GetText(IDS_SAVE_FAILED), photo.outputPath);
            return false;
        }
        if (embedded) {
            LogInformation(embedded->Result());
        } else {
            CarryInformation(output.TemporaryPath());
        }
        if (!output.Commit()) {
            Report(GetText(IDS_SAVE_FAILED), photo.outputPath);
            return false;
        }
        return true;
    }
    if (GdipSaveImageToFile(bitmap, Utf16Path(photo.outputPath).c_str(), &encoder, parameters) != Ok) {
        Report(GetText(IDS_SAVE_FAILED), photo.outputPath);
        return false;
    }
    return true;
}

void PhotoConverter::CarryInformation(const std::string& stagedPath) {
    // The pixels are written already: information that cannot go in costs a warning,
    // never the photo.
    metadata::MetadataResult result;
    try {
        result = metadata::CarryPhotoInformation(informationSource_, stagedPath, information_);
    } catch (const std::exception& error) {
        result = {metadata::MetadataStatus::Failed, error.what()};
    } catch (...) {
        result = {metadata::MetadataStatus::Failed, "unknown error"};
    }
    LogInformation(result);
}

void PhotoConverter::LogInformation(const metadata::MetadataResult& result) {
    if (!result.Ok()) {
        const char* what = result.status == metadata::MetadataStatus::Partly ? " Photo information kept in part: "
                                                                              : " Photo information not kept: ";
        Log(informationSource_ + what + (result.reason.empty() ? std::string("unknown error") : result.reason));
    }
}

bool PhotoConverter::EncodeWdp(const PhotoRecord& photo, GpBitmap* bitmap) {
    // Every source goes through the temporary BMP, so the scaling, stamp and turn
    // always reach the file. (A source that is itself WDP never decodes here, so
    // it cannot get this far.)
    CLSID bmpEncoder{};
    FindEncoderByMimeType(u"image/bmp", &bmpEncoder);
    const std::string input = PrepareTempName(kWdpTempUnique, ".bmp");
    if (GdipSaveImageToFile(bitmap, Utf16Path(input).c_str(), &bmpEncoder, nullptr) != Ok) {
        Report(GetText(IDS_SAVE_FAILED), photo.outputPath);
        return false;
    }

    StagedOutput output(photo.outputPath);
    WdpCodecLibrary* const encoder = host_.WdpLibrary();
    bool called = false;
    {
        std::lock_guard lock(g_wdpEncodeMutex);
        called = encoder != nullptr && encoder->EncodeWdpFile(input, output.TemporaryPath(),
                                                              photo.settings.nWdpEncoderParam, photo.outputPath);
    }
    if (!called) {
        Report(FormatText("can not encode the file %s", photo.outputPath), "Error");
        return false;
    }
    if (FileExists(output.TemporaryPath())) {
        CarryInformation(output.TemporaryPath());
    }
    // The library has shown its own message when it wrote nothing; the photo is
    // still not converted.
    return output.Commit();
}

}  // namespace tallowin
