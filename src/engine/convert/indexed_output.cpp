// The two outputs that reduce the working bitmap to a palette: indexed BMP (1, 4 or
// 8 bits) and GIF (256 colours, re-encoded from an 8-bit BMP by the GIF encoder).

#include "convert_support.h"
#include "dib_image.h"
#include "dib_image_from_handle.h"
#include "encoder_lookup.h"
#include "language.h"
#include "photo_converter.h"
#include "quantizer.h"
#include "staged_output.h"

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace tallowin {

namespace {

constexpr unsigned kIndexedBmpTempUnique = 22345;  // BMP5749.TMP
constexpr unsigned kGifTempUnique = 12346;         // BMP303A.TMP
constexpr uint32_t kQuantizerDepth = 8;
constexpr uint32_t kGifColours = 256;
constexpr uint32_t kGifBits = 8;
constexpr ARGB kOpaqueBlack = 0xFF000000;

struct IndexedDepth {
    uint32_t bits;
    uint32_t colours;
};

IndexedDepth DepthOfPixelFormatCode(int32_t code) {
    switch (code) {
        case 0: return {1, 2};
        case 1: return {4, 16};
        default: return {8, 256};
    }
}

// The quantizer's table for `image`. Entries the quantizer does not write (a
// picture of fewer colours) stay black; every colour of such a picture is an
// exact entry, so they are never chosen.
bool BuildPalette(const CDibImage& image, uint32_t colours, std::vector<RGBQUAD>& table) {
    if (image.PixelBlock() == nullptr) {
        return false;
    }
    CQuantizer quantizer(colours, kQuantizerDepth);
    quantizer.Scan(image.PixelBlock());
    try {
        table.assign(colours, RGBQUAD{0, 0, 0, 0});
    } catch (const std::bad_alloc&) {
        return false;
    }
    quantizer.WritePalette(table.data());
    return true;
}

// Writes `image` as a BMP to `path` through a staged name, so a failed write leaves
// neither a partial file nor a lost older one.
bool SaveDibReplacing(CDibImage& image, const std::string& path) {
    StagedOutput output(path);
    return image.SaveFile(output.TemporaryPath().c_str(), kDibFormatBmp) && output.Commit();
}

enum class IndexedSave {
    Saved,
    NotReduced,  // the BMP could not be read back or reduced (no memory for the tables)
    NotSaved,    // the indexed BMP could not be written
};

// Reads the working bitmap's BMP back from `temp`, reduces it to `depth` and writes
// it to `outputPath`.
IndexedSave ReduceAndSaveIndexedBmp(const std::string& temp, const IndexedDepth& depth,
                                    const std::string& outputPath) {
    CDibImage image(kDibFormatBmp);
    std::vector<RGBQUAD> table;
    if (!image.LoadFile(temp.c_str(), kDibFormatBmp) || !BuildPalette(image, depth.colours, table) ||
        !image.ReduceBitDepth(depth.bits, true, table.data(), 0)) {
        return IndexedSave::NotReduced;
    }
    return SaveDibReplacing(image, outputPath) ? IndexedSave::Saved : IndexedSave::NotSaved;
}

}  // namespace

bool PhotoConverter::EncodeIndexedBmp(const PhotoRecord& photo, GpBitmap* bitmap, int32_t pixelFormatCode) {
    CLSID bmpEncoder{};
    FindEncoderByMimeType(u"image/bmp", &bmpEncoder);
    const std::string temp = PrepareTempName(kIndexedBmpTempUnique);
    if (GdipSaveImageToFile(bitmap, Utf16Path(temp).c_str(), &bmpEncoder, nullptr) != Ok) {
        Report(GetText(IDS_SAVE_FAILED), photo.outputPath);
        return false;
    }

    const IndexedSave result =
        ReduceAndSaveIndexedBmp(temp, DepthOfPixelFormatCode(pixelFormatCode), photo.outputPath);
    // Every way this fails is reported: a reduction that could not run would otherwise
    // leave the 24-bit picture to be written under an indexed name, unseen.
    if (result == IndexedSave::NotReduced) {
        Report("Failed to convert phhoto color!", GetText(IDS_ERROR));
    } else if (result == IndexedSave::NotSaved) {
        Report(GetText(IDS_SAVE_FAILED), photo.outputPath);
    }
    if (access(temp.c_str(), F_OK) == 0 && std::remove(temp.c_str()) != 0) {
        Report("Can not delete the temporary bitmap filename!", GetText(IDS_WARNING));
    }
    return result == IndexedSave::Saved;
}

bool PhotoConverter::EncodeGif(const PhotoRecord& photo, GpBitmap* bitmap) {
    CLSID gifEncoder{};
    FindEncoderByMimeType(u"image/gif", &gifEncoder);
    const std::string temp = PrepareTempName(kGifTempUnique);

    HBITMAP handle = nullptr;
    if (GdipCreateHBITMAPFromBitmap(bitmap, &handle, kOpaqueBlack) != Ok) {
        Report("Failed to GetHBITMAP", "ERROR");
        return false;
    }
    CDibImage image(kDibFormatBmp);
    CreateDibImageFromBitmapHandle(image, handle);
    DeleteObject(handle);

    std::vector<RGBQUAD> table;
    if (!BuildPalette(image, kGifColours, table)) {
        return false;
    }
    if (!image.ReduceBitDepth(kGifBits, true, table.data(), 0)) {
        Report("Failed to convert phhoto color!", GetText(IDS_ERROR));
        return false;
    }
    if (!image.SaveFile(temp.c_str(), kDibFormatBmp)) {
        Report("Failed to save file!", photo.outputPath);
        return false;
    }

    GpBitmap* rawIndexed = nullptr;
    GdipCreateBitmapFromFile(Utf16Path(temp).c_str(), &rawIndexed);
    const BitmapPtr indexed(rawIndexed);
    // The codec service writes beside the output and renames into place itself.
    if (GdipSaveImageToFile(indexed.get(), Utf16Path(photo.outputPath).c_str(), &gifEncoder, nullptr) !=
        Ok) {
        Report(GetText(IDS_SAVE_FAILED), photo.outputPath);
        return false;
    }
    return true;
}

}  // namespace tallowin
