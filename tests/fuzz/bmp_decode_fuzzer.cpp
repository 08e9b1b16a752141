// Feeds arbitrary bytes to the codec service's BMP/DIB reader.

#include "adapter_fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return tallowin::fuzz::FuzzAdapter("bmp", data, size);
}
