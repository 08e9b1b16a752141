// Counts the calls this process makes into the decoder libraries (and lcms2's parsing
// of an embedded colour profile). The test program
// defines each library's first decoding entry point itself: the program's own code and
// the libraries it loads at run time (libphoto.so) reach these definitions first, which
// count the call and pass it on to the library. The count lives in memory shared with
// child processes, so a decode in a forked child counts too.
#include "library_decode_calls.h"

#include <dlfcn.h>
#include <sys/mman.h>

#include <cstdio>  // before jpeglib.h, which uses FILE

#include <gif_lib.h>
#include <jpeglib.h>
#include <jxl/decode.h>
#include <lcms2.h>
#include <libdeflate.h>
#include <libheif/heif.h>
#include <libraw/libraw.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tallowin::test {
namespace {

std::atomic<int>* SharedCount()
{
    static std::atomic<int>* const count = [] {
        void* at = mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (at == MAP_FAILED) std::abort();
        return new (at) std::atomic<int>(0);
    }();
    return count;
}

// Made before main, so before any child process is forked.
[[maybe_unused]] const std::atomic<int>* const kMadeEarly = SharedCount();

// The library's own definition of `name`, the next one after this program's.
template <typename Function> Function* Next(const char* name)
{
    void* found = dlsym(RTLD_NEXT, name);
    if (found == nullptr) std::abort();
    return reinterpret_cast<Function*>(found);
}

void Count() { SharedCount()->fetch_add(1); }

}  // namespace

int LibraryDecodeCalls() { return SharedCount()->load(); }

}  // namespace tallowin::test

using tallowin::test::Count;
using tallowin::test::Next;

extern "C" {

int jpeg_read_header(j_decompress_ptr cinfo, boolean requireImage)
{
    Count();
    static auto* next = Next<int(j_decompress_ptr, boolean)>("jpeg_read_header");
    return next(cinfo, requireImage);
}

png_structp png_create_read_struct(png_const_charp version, png_voidp error, png_error_ptr onError,
                                   png_error_ptr onWarning)
{
    Count();
    static auto* next =
        Next<png_structp(png_const_charp, png_voidp, png_error_ptr, png_error_ptr)>("png_create_read_struct");
    return next(version, error, onError, onWarning);
}

// Plain PNGs are inflated by libdeflate without libpng.
libdeflate_decompressor* libdeflate_alloc_decompressor()
{
    Count();
    static auto* next = Next<libdeflate_decompressor*()>("libdeflate_alloc_decompressor");
    return next();
}

TIFF* TIFFOpenExt(const char* path, const char* mode, TIFFOpenOptions* options)
{
    Count();
    static auto* next = Next<TIFF*(const char*, const char*, TIFFOpenOptions*)>("TIFFOpenExt");
    return next(path, mode, options);
}

GifFileType* DGifOpen(void* user, InputFunc read, int* error)
{
    Count();
    static auto* next = Next<GifFileType*(void*, InputFunc, int*)>("DGifOpen");
    return next(user, read, error);
}

VP8StatusCode WebPGetFeaturesInternal(const uint8_t* data, size_t size, WebPBitstreamFeatures* features, int version)
{
    Count();
    static auto* next =
        Next<VP8StatusCode(const uint8_t*, size_t, WebPBitstreamFeatures*, int)>("WebPGetFeaturesInternal");
    return next(data, size, features, version);
}

struct heif_error heif_context_read_from_file(struct heif_context* context, const char* path,
                                              const struct heif_reading_options* options)
{
    Count();
    static auto* next =
        Next<heif_error(heif_context*, const char*, const heif_reading_options*)>("heif_context_read_from_file");
    return next(context, path, options);
}

JxlDecoder* JxlDecoderCreate(const JxlMemoryManager* memory)
{
    Count();
    static auto* next = Next<JxlDecoder*(const JxlMemoryManager*)>("JxlDecoderCreate");
    return next(memory);
}

int libraw_open_file(libraw_data_t* data, const char* path)
{
    Count();
    static auto* next = Next<int(libraw_data_t*, const char*)>("libraw_open_file");
    return next(data, path);
}

// Colour profiles: a source's embedded profile is parsed by lcms2 when its pixels are
// converted to sRGB.
cmsHPROFILE cmsOpenProfileFromMemTHR(cmsContext context, const void* data, cmsUInt32Number size)
{
    Count();
    static auto* next = Next<cmsHPROFILE(cmsContext, const void*, cmsUInt32Number)>("cmsOpenProfileFromMemTHR");
    return next(context, data, size);
}

// libwmf, libemf2svg and libjxr install no headers that build cleanly here; their
// entry points are declared as the libraries define them.
typedef struct _wmfAPI wmfAPI;
typedef struct _wmfAPI_Options wmfAPI_Options;
int wmf_api_create(wmfAPI** api, unsigned long flags, wmfAPI_Options* options)
{
    Count();
    static auto* next = Next<int(wmfAPI**, unsigned long, wmfAPI_Options*)>("wmf_api_create");
    return next(api, flags, options);
}

struct generatorOptions;
int emf2svg(char* contents, size_t length, char** out, size_t* outLength, generatorOptions* options)
{
    Count();
    static auto* next = Next<int(char*, size_t, char**, size_t*, generatorOptions*)>("emf2svg");
    return next(contents, length, out, outLength, options);
}

// libjxr makes its decoder and its encoder here; only the decoder counts.
extern const unsigned int IID_PKImageWmpDecode;
long PKCodecFactory_CreateCodec(const unsigned int* iid, void** made)
{
    if (iid != nullptr && *iid == IID_PKImageWmpDecode) Count();
    static auto* next = Next<long(const unsigned int*, void**)>("PKCodecFactory_CreateCodec");
    return next(iid, made);
}

}  // extern "C"
