#pragma once
#include <string>
// The image codec service: a flat interface shaped like the desktop imaging API the
// converter was designed against (same operation names, arguments and zero-for-success
// status), implemented over libjpeg-turbo, libpng, libtiff, giflib, libwmf, libemf2svg
// and Qt's painter for text. Every call is thread-safe for distinct objects.

#include "dib_handles.h"

#include <cstdint>

using WCHAR = char16_t;   // UTF-16 code unit
using ARGB = uint32_t;    // 0xAARRGGBB
using REAL = float;
using PixelFormat = int32_t;
using UINT = uint32_t;
using ULONG = uint32_t;
using BYTE = uint8_t;
using ULONG_PTR = uintptr_t;

enum GpStatus : int32_t {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,            // the file could not be read or written
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,        // the image is over our size limits (not "out of memory")
    AccessDenied = 12,
    UnknownImageFormat = 13,   // not an image we can decode
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
    PropertyNotFound = 19,
    PropertyNotSupported = 20,
    DecoderStopped = 100,      // the decoder process crashed or overran its limits (not a desktop API value)
};
using Status = GpStatus;

// Pixel formats (the values of the desktop API).
constexpr PixelFormat PixelFormat1bppIndexed = 0x00030101;
constexpr PixelFormat PixelFormat4bppIndexed = 0x00030402;
constexpr PixelFormat PixelFormat8bppIndexed = 0x00030803;
constexpr PixelFormat PixelFormat16bppRGB565 = 0x00021006;
constexpr PixelFormat PixelFormat24bppRGB = 0x00021808;
constexpr PixelFormat PixelFormat32bppRGB = 0x00022009;
constexpr PixelFormat PixelFormat32bppARGB = 0x0026200A;
constexpr PixelFormat PixelFormat32bppPARGB = 0x000E200B;
constexpr PixelFormat PixelFormat64bppARGB = 0x0034400D;
constexpr PixelFormat PixelFormat64bppPARGB = 0x001C400E;

enum RotateFlipType : int32_t {
    RotateNoneFlipNone = 0,
    Rotate90FlipNone = 1,
    Rotate180FlipNone = 2,
    Rotate270FlipNone = 3,
    RotateNoneFlipX = 4,
    Rotate90FlipX = 5,
    Rotate180FlipX = 6,
    Rotate270FlipX = 7,
    RotateNoneFlipY = Rotate180FlipX,
    Rotate90FlipY = Rotate270FlipX,
    Rotate180FlipY = RotateNoneFlipX,
    Rotate270FlipY = Rotate90FlipX,
};

enum InterpolationMode : int32_t {
    InterpolationModeDefault = 0,
    InterpolationModeLowQuality = 1,
    InterpolationModeHighQuality = 2,
    InterpolationModeBilinear = 3,
    InterpolationModeBicubic = 4,
    InterpolationModeNearestNeighbor = 5,
    InterpolationModeHighQualityBilinear = 6,
    InterpolationModeHighQualityBicubic = 7,
};

enum GpUnit : int32_t { UnitWorld = 0, UnitDisplay = 1, UnitPixel = 2, UnitPoint = 3, UnitInch = 4 };
using Unit = GpUnit;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using CLSID = GUID;
bool operator==(const GUID& a, const GUID& b);

// 1d5be4b5-fa4a-452d-9cdd-5db35105e7eb
extern const GUID EncoderQuality;
// Our own parameter, of type Pointer: a tallowin::metadata::PhotoMetadata, prepared for
// the picture, that encoders able to embed it write into the file (AVIF, JPEG XL);
// the others ignore it.
extern const GUID EncoderPhotoInformation;

enum EncoderParameterValueType : int32_t {
    EncoderParameterValueTypeByte = 1,
    EncoderParameterValueTypeASCII = 2,
    EncoderParameterValueTypeShort = 3,
    EncoderParameterValueTypeLong = 4,
    EncoderParameterValueTypeRational = 5,
    EncoderParameterValueTypePointer = 9,
};

struct EncoderParameter {
    GUID Guid;
    ULONG NumberOfValues;
    ULONG Type;
    void* Value;
};

struct EncoderParameters {
    UINT Count;
    EncoderParameter Parameter[1];
};

struct ImageCodecInfo {
    CLSID Clsid;
    GUID FormatID;
    const WCHAR* CodecName;
    const WCHAR* DllName;
    const WCHAR* FormatDescription;
    const WCHAR* FilenameExtension;
    const WCHAR* MimeType;
    uint32_t Flags;
    uint32_t Version;
    uint32_t SigCount;
    uint32_t SigSize;
    const BYTE* SigPattern;
    const BYTE* SigMask;
};

struct RectF {
    REAL X, Y, Width, Height;
};

struct GdiplusStartupInput {
    uint32_t GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    int32_t SuppressBackgroundThread = 0;
    int32_t SuppressExternalCodecs = 0;
};
struct GdiplusStartupOutput {
    void* NotificationHook = nullptr;
    void* NotificationUnhook = nullptr;
};

// LOGFONTA as the desktop API lays it out (face name: 32 bytes, zero-terminated).
struct LOGFONTA {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char lfFaceName[32];
};

// Objects of the service. Only the service creates them (their state is private to
// it); the hierarchy is public so a GpBitmap* passes where a GpImage* is asked for and a
// GpSolidFill* where a GpBrush* is, as with the desktop API's C++ wrappers.
struct GpImage {
    virtual ~GpImage() = default;
    GpImage(const GpImage&) = delete;
    GpImage& operator=(const GpImage&) = delete;

protected:
    GpImage() = default;
};
struct GpBitmap : GpImage {};   // a GpImage that holds pixels
struct GpBrush {
    virtual ~GpBrush() = default;
    GpBrush(const GpBrush&) = delete;
    GpBrush& operator=(const GpBrush&) = delete;

protected:
    GpBrush() = default;
};
struct GpSolidFill : GpBrush {};  // a GpBrush of one colour
struct GpGraphics;
struct GpFont;
struct GpStringFormat;

GpStatus GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output);
void GdiplusShutdown(ULONG_PTR token);

// Opens an image; reads only the header (size, resolution, orientation). Pixels are
// decoded when first needed (drawing, saving, rotating).
GpStatus GdipLoadImageFromFile(const WCHAR* filename, GpImage** image);
GpStatus GdipLoadImageFromFileICM(const WCHAR* filename, GpImage** image);
GpStatus GdipCreateBitmapFromFile(const WCHAR* filename, GpBitmap** bitmap);
GpStatus GdipDisposeImage(GpImage* image);

GpStatus GdipGetImageWidth(GpImage* image, UINT* width);
GpStatus GdipGetImageHeight(GpImage* image, UINT* height);
GpStatus GdipGetImageHorizontalResolution(GpImage* image, REAL* dpi);
GpStatus GdipGetImageVerticalResolution(GpImage* image, REAL* dpi);
GpStatus GdipGetImagePixelFormat(GpImage* image, PixelFormat* format);

// stride 0 and scan0 null: the service allocates a zeroed buffer.
GpStatus GdipCreateBitmapFromScan0(int32_t width, int32_t height, int32_t stride, PixelFormat format, BYTE* scan0, GpBitmap** bitmap);
GpStatus GdipBitmapSetResolution(GpBitmap* bitmap, REAL xdpi, REAL ydpi);

GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics);
GpStatus GdipCreateFromHDC(HDC hdc, GpGraphics** graphics);
GpStatus GdipDeleteGraphics(GpGraphics* graphics);
GpStatus GdipGraphicsClear(GpGraphics* graphics, ARGB color);
GpStatus GdipSetInterpolationMode(GpGraphics* graphics, InterpolationMode mode);
GpStatus GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image,
                                int32_t dstx, int32_t dsty, int32_t dstwidth, int32_t dstheight,
                                int32_t srcx, int32_t srcy, int32_t srcwidth, int32_t srcheight,
                                GpUnit srcUnit, const void* imageAttributes, void* callback, void* callbackData);
GpStatus GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, int32_t x, int32_t y, int32_t width, int32_t height);

GpStatus GdipCreateFontFromLogfontA(HDC hdc, const LOGFONTA* logfont, GpFont** font);
GpStatus GdipDeleteFont(GpFont* font);
GpStatus GdipCreateSolidFill(ARGB color, GpSolidFill** brush);
GpStatus GdipDeleteBrush(GpBrush* brush);
GpStatus GdipDrawString(GpGraphics* graphics, const WCHAR* string, int32_t length, const GpFont* font,
                        const RectF* layoutRect, const GpStringFormat* stringFormat, const GpBrush* brush);

GpStatus GdipImageRotateFlip(GpImage* image, RotateFlipType type);

GpStatus GdipGetImageEncodersSize(UINT* numEncoders, UINT* size);
GpStatus GdipGetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders);
GpStatus GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* clsidEncoder,
                             const EncoderParameters* encoderParams);

GpStatus GdipCreateHBITMAPFromBitmap(GpBitmap* bitmap, HBITMAP* hbmReturn, ARGB background);

// ---- Extensions of this service (not in the desktop API) ----

// A problem met while decoding the image's pixels that still left a usable picture
// (for example a truncated JPEG: the rows that decoded, the rest grey), or null.
const char* GdipExtDecodeWarning(GpImage* image);
// Why the colour profile embedded in the image's file could not be applied by
// GdipLoadImageFromFileICM (damaged, or not for RGB pixels), or null.
const char* GdipExtColourWarning(GpImage* image);
// A short English reason for a status, for messages and logs ("not an image",
// "over the size limit", "file error", ...).
const char* GdipExtStatusText(GpStatus status);
// A file-system path (bytes, normally UTF-8) as the UTF-16 text the calls above take.
// Bytes that are not valid UTF-8 travel as the lone surrogates U+DC80..U+DCFF and come
// back as the same bytes, so every name the file system allows reaches its file.
std::u16string GdipExtWidePath(const std::string& path);
// The inverse: the path bytes of such UTF-16 text.
std::string GdipExtNarrowPath(const WCHAR* path);
