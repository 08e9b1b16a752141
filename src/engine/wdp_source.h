#pragma once
// The decoded BMP of a WDP photo exists only while something reads it. Adding the photo
// decodes it once for its size and removes the BMP again; converting or previewing it
// decodes it anew for that one use. A folder of 4000 x 3000 WDP photos would otherwise
// keep 36 MB of BMP per photo in the temporary folder until the program ends.

#include "photo_record.h"

#include <string>

namespace tallowin {

class WdpCodecLibrary;

// The file to decode for one use of a photo. For a WDP photo, a fresh BMP decoded from
// its WDP file, named like the photo's own temporary BMP (so it carries the WDP file's
// title) in a sub-folder of its own, so two uses at once (the preview and the
// conversion) never share it; removed with its sub-folder when this object goes. For
// any other photo, the photo's own file, untouched.
class WdpSourceFile {
public:
    WdpSourceFile(WdpCodecLibrary* library, const PhotoRecord& photo);
    ~WdpSourceFile();
    WdpSourceFile(const WdpSourceFile&) = delete;
    WdpSourceFile& operator=(const WdpSourceFile&) = delete;

    // Where to read the pixels. For a WDP photo whose decode failed (the WDP file is
    // gone, or no library is loaded) a path where nothing stands, so the load that
    // follows fails as for any unreadable photo.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string folder_;  // the sub-folder made for this use; empty when none
};

// Removes the BMP a WDP photo was measured from when it was added (the sub-folder
// stays: it keeps the name unique). Nothing for other photos.
void ReleaseAddedWdpBitmap(const PhotoRecord& photo);

}  // namespace tallowin
