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

// Rewrites the SVG text the metafile libraries produced so that painting it can read
// nothing but the text itself: only drawing elements survive, a reference (href) must
// point inside the document ('#...') or, on an image, hold its data ("data:..."), and
// document type declarations, entities, comments and processing instructions are
// dropped. Text of the metafile that broke out of its element is at most more
// drawing, never a file read. False when the text is not well-formed XML or holds
// more elements than a metafile can describe.
bool SanitiseSvg(const QByteArray& svg, QByteArray& clean);

// Paints the SVG's whole canvas stretched over a width x height raster (transparent
// where nothing is drawn, straight alpha), after SanitiseSvg. NotAnImage when the SVG
// is refused there or Qt cannot parse it.
DecodeStatus RenderSvgToRaster(const QByteArray& svg, int32_t width, int32_t height, Raster& out);

}  // namespace tallowin::codec::detail
