#pragma once
// The two entry points of libphoto.so, resolved by name with dlsym. Both return
// non-zero for success and 0 for failure; on failure no output file is left behind
// and an existing file at the output path is left untouched.

#define TALLOWIN_PHOTO_EXPORT __attribute__((visibility("default")))

extern "C" {

// Converts a JPEG XR (.wdp, .hdp, .jxr) file into a 24-bit BMP file.
TALLOWIN_PHOTO_EXPORT int DecodeWMPToBMP(const char* wdpPath, const char* bmpPath);

// Converts an 8-bit palette, 24-bit or 32-bit BMP file into a JPEG XR file. `quality`
// is the quantization parameter as decimal text: "1" is lossless, up to "255";
// anything else fails.
TALLOWIN_PHOTO_EXPORT int EncodeBMPToWMP(const char* bmpPath, const char* wdpPath, const char* quality);

}
