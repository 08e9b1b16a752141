#pragma once
// Shared last step of the WMF and EMF adapters: both libraries translate a metafile
// into SVG text, which Qt SVG paints onto a transparent raster.

#include "decoder.h"

#include <QByteArray>

namespace tallowin::codec::detail {

// Metafiles are sized for a 96 dpi screen.
constexpr double kMetafileDpi = 96.0;

// Paints the SVG's whole canvas stretched over a width x height raster (transparent
// where nothing is drawn, straight alpha). NotAnImage when Qt cannot parse the SVG.
DecodeStatus RenderSvgToRaster(const QByteArray& svg, int32_t width, int32_t height, Raster& out);

}  // namespace tallowin::codec::detail
