#include "language.h"

#include <string_view>

namespace tallowin {

namespace {

struct StringEntry {
    int id;
    std::string_view text;
};

constexpr StringEntry kStringTable[] = {
    {101, "&About Pictavo"},
    {106, "Error"},
    {111, "The output width is invalid!"},
    {112, "The output hight is invalid!"},
    {113, "Failed to SetResolution!"},
    {114, "Failed to SetInterpolationMode!"},
    {115, "Failed to convert photo!"},
    {116, "Unknown rotate angle!"},
    {117, "Failed to rotate and flip photo!"},
    {118, "Failed to save the file!"},
    {119, "Warning"},
    {120, "%s exists. Do you want to replace it?"},
    {128, "The text position X is bigger than the photo width!, The program set it to 0 now."},
    {129, "The text position Y is bigger than the photo height!, The program set it to 0 now."},
    {130, "The text position X is out of range! The program set it to 0 now."},
    {131, "The text position Y is out of range! The program set it to 0 now."},
    {138, "1 bit per pixel, indexed. 2 color."},
    {139, "4 bits per pixel, indexed. 16 color."},
    {140, "8 bits per pixel, indexed. 256 color."},
    {141, "16 bits per pixel; 5 bits are used for the red component, 6 bits are used for the green component, "
          "and 5 bits are used for the blue component."},
    {142, "24 bits per pixel; 8 bits each are used for the red, green, and blue components."},
    {143, "32 bits per pixel; 8 bits each are used for the alpha, red, green, and blue components."},
    {144, "32 bits per pixel; 8 bits each are used for the alpha, red, green, and blue components. The red, "
          "green, and blue components are premultiplied according to the alpha component."},
    {145, "32 bits per pixel; 8 bits each are used for the red, green, and blue components. The remaining 8 bits "
          "are not used."},
    {146, "64 bits per pixel; 16 bits each are used for the alpha, red, green, and blue components."},
    {147, "64 bits per pixel; 16 bits each are used for the alpha, red, green, and blue components. The red, "
          "green, and blue components are premultiplied according to the alpha component."},
};

}  // namespace

std::string CLanguage::GetText(int id) const
{
    for (const StringEntry& entry : kStringTable)
        if (entry.id == id) return std::string(entry.text);
    return {};
}

const CLanguage& Language()
{
    static const CLanguage language;
    return language;
}

std::string GetText(int id) { return Language().GetText(id); }

}  // namespace tallowin
