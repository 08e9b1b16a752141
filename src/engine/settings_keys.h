#pragma once
// Section and entry names of the settings store, each spelled once, exactly as stored.

namespace tallowin::keys {

// Sections
inline constexpr const char* kOption = "Option";
inline constexpr const char* kCurrentFont = "CurrentFont";
inline constexpr const char* kSetup = "Setup";

// "Option"
inline constexpr const char* kPhotoOutputFolder = "photo_output_folder";
inline constexpr const char* kBatchRenamer = "m_batch_renamer";
inline constexpr const char* kLastPhotoFolder = "LastPhotoFolder";
inline constexpr const char* kLastBrowseFold = "m_last_browse_fold";
inline constexpr const char* kOuptputFormat = "nOuptputFormat";
inline constexpr const char* kComboPixelFormat = "iComboPixelFormat";
inline constexpr const char* kCurrentJpegQuality = "nCurrentJpegQuality";
inline constexpr const char* kWdpQualityControl = "nWdpQualityControl";
inline constexpr const char* kWebpQuality = "nWebpQuality";
inline constexpr const char* kAvifQuality = "nAvifQuality";
inline constexpr const char* kJxlQuality = "nJxlQuality";
// The rest of the window's current output settings, stored at Exit with the keys
// above and read at the next start; the stretch factors are texts ("1.5").
inline constexpr const char* kOuputSizeType = "nOuputSizeType";
inline constexpr const char* kOutputWidth = "nOutputWidth";
inline constexpr const char* kOutputHeight = "nOutputHeight";
inline constexpr const char* kKeepAspectRatio = "nKeepAspectRatio";
inline constexpr const char* kHorizontalStretch = "dHorizontalStretch";
inline constexpr const char* kVerticalStretch = "dVerticalStretch";
inline constexpr const char* kRotateAngel = "nRotateAngel";
inline constexpr const char* kFlipType = "nFlipType";
inline constexpr const char* kLongEdge = "nLongEdge";
inline constexpr const char* kBoxWidth = "nBoxWidth";
inline constexpr const char* kBoxHeight = "nBoxHeight";
inline constexpr const char* kShrinkOnly = "nShrinkOnly";
// The stamp text and its position boxes of the main window.
inline constexpr const char* kStampText = "stamp_text";
inline constexpr const char* kStampX = "stamp_x";
inline constexpr const char* kStampY = "stamp_y";
// The photo information boxes of the main window, 0 or 1.
inline constexpr const char* kKeepPhotoInformation = "keep_photo_information";
inline constexpr const char* kRemoveLocation = "remove_location";
// How many photos the window's run converts at a time; missing or below 1: the
// machine's cores.
inline constexpr const char* kWorkers = "workers";

// "CurrentFont"
inline constexpr const char* kCurrentColor = "nCurrentColor";
inline constexpr const char* kLfHeight = "lfHeight";
inline constexpr const char* kLfWidth = "lfWidth";
inline constexpr const char* kLfEscapement = "lfEscapement";
inline constexpr const char* kLfOrientation = "lfOrientation";
inline constexpr const char* kLfWeight = "lfWeight";
inline constexpr const char* kLfItalic = "lfItalic";
inline constexpr const char* kLfUnderline = "lfUnderline";
inline constexpr const char* kLfStrikeOut = "lfStrikeOut";
inline constexpr const char* kLfCharSet = "lfCharSet";
inline constexpr const char* kLfOutPrecision = "lfOutPrecision";
inline constexpr const char* kLfClipPrecision = "lfClipPrecision";
inline constexpr const char* kLfPitchAndFamily = "lfPitchAndFamily";
inline constexpr const char* kLfFaceName = "lfFaceName";

// "Setup"
inline constexpr const char* kFirstUpdate = "t_first_update";

}  // namespace tallowin::keys
