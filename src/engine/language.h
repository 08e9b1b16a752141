#pragma once
// The numbered texts of messages, captions and pixel-format descriptions.

#include <string>

namespace tallowin {

// Ids of the string table.
enum StringId : int {
    IDS_ABOUTBOX = 101,             // "&About Pictavo"
    IDS_ERROR = 106,                // "Error"
    IDS_OUTPUT_WIDTH_INVALID = 111,
    IDS_OUTPUT_HEIGHT_INVALID = 112,
    IDS_SET_RESOLUTION_FAILED = 113,
    IDS_SET_INTERPOLATION_FAILED = 114,
    IDS_CONVERT_FAILED = 115,
    IDS_UNKNOWN_ROTATE_ANGLE = 116,
    IDS_ROTATE_FLIP_FAILED = 117,
    IDS_SAVE_FAILED = 118,
    IDS_WARNING = 119,              // "Warning"
    IDS_FILE_EXISTS_REPLACE = 120,  // "%s exists. Do you want to replace it?"
    IDS_TEXT_X_TOO_BIG = 128,
    IDS_TEXT_Y_TOO_BIG = 129,
    IDS_TEXT_X_OUT_OF_RANGE = 130,
    IDS_TEXT_Y_OUT_OF_RANGE = 131,
    IDS_PIXEL_FORMAT_FIRST = 138,   // descriptions of pixel formats 0 to 9: ids 138 to 147
    IDS_PIXEL_FORMAT_LAST = 147,
};

// Serves the string table. One object exists for the whole process (Language()); it
// holds no state, so any thread may use it.
class CLanguage {
public:
    // The text with that id; empty for an id without an entry.
    std::string GetText(int id) const;
};

// The process-wide string server.
const CLanguage& Language();

// Shorthand for Language().GetText(id).
std::string GetText(int id);

}  // namespace tallowin
