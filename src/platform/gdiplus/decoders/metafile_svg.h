#pragma once
// Shared last step of the WMF and EMF adapters: both libraries translate a metafile
// into SVG text, which Qt SVG paints onto a transparent raster.

#include "decoder.h"

#include <QByteArray>

namespace tallowin::codec::detail {

// Metafiles are sized for a 96 dpi screen.
constexpr double kMetafileDpi = 96.0;

// The raster size for a picture of width x height: the full size, or, when the caller
// draws it smaller, the smallest size of the same proportions that is still at least
// the requested size in both directions (a vector picture loses nothing by it).
void RenderSize(int32_t width, int32_t height, const DecodeRequest& request, int32_t& outWidth, int32_t& outHeight);

// Paints the SVG's whole canvas stretched over a width x height raster (transparent
// where nothing is drawn, straight alpha). NotAnImage when Qt cannot parse the SVG.
DecodeStatus RenderSvgToRaster(const QByteArray& svg, int32_t width, int32_t height, Raster& out);

}  // namespace tallowin::codec::detail
