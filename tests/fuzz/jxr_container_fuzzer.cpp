// Feeds arbitrary bytes to the JPEG XR container check that runs before libjxr sees
// a file.

#include "jxr_container.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tallowin::wdp::JxrLayout layout;
    const auto check = tallowin::wdp::CheckJxrContainer(data, size, layout);
    if (check == tallowin::wdp::ContainerCheck::Ok && (layout.width == 0 || layout.height == 0))
        __builtin_trap();  // accepted without a picture size
    return 0;
}
