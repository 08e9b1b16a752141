#pragma once
// The text stamp's font and colour. The conversion worker reads them for every photo
// while the Font button may change them, so they are kept under a lock and handed out
// as copies.

#include "gdiplus.h"  // LOGFONTA

#include <cstdint>
#include <mutex>

namespace tallowin {

class StampStyle {
public:
    LOGFONTA Font() const
    {
        std::lock_guard lock(mutex_);
        return font_;
    }
    void SetFont(const LOGFONTA& font)
    {
        std::lock_guard lock(mutex_);
        font_ = font;
    }
    // Red in the low byte, then green, then blue.
    uint32_t Colour() const
    {
        std::lock_guard lock(mutex_);
        return colour_;
    }
    void SetColour(uint32_t colour)
    {
        std::lock_guard lock(mutex_);
        colour_ = colour;
    }

private:
    mutable std::mutex mutex_;
    LOGFONTA font_{};
    uint32_t colour_ = 0;
};

}  // namespace tallowin
