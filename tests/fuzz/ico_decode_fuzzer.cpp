// Feeds arbitrary bytes to the icon reader: the directory, the BMP entries with their
// masks and the PNG entries.

#include "adapter_fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return tallowin::fuzz::FuzzAdapter("ico", data, size);
}
