#pragma once
// How many times this process, or a child it forked, has entered a decoder library
// (libjpeg, libpng, libtiff, giflib, libwmf, libemf2svg, libwebp, libheif, libjxl,
// LibRaw, libjxr's decoder) since it started.

namespace tallowin::test {

int LibraryDecodeCalls();

}  // namespace tallowin::test
