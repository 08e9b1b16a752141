#pragma once
// Names and addresses the program is known by.

namespace tallowin {

// The settings store's organisation and application names.
inline constexpr const char* kCompanyKey = "Veltrane";
inline constexpr const char* kApplicationName = "Tallowin";
// The title users see: the main window's caption and the caption of the boxes that the
// window framework's own message box would title with the application.
inline constexpr const char* kApplicationTitle = "Pictavo";

// The web site's home page (Update button) and the product's page (update reminder).
inline constexpr const char* kHomePageUrl = "https://www.veltrane.com/";
inline constexpr const char* kProductPageUrl = "https://www.veltrane.com/pictavo/";

// The help, an HTML folder beside the executable, opened at its start topic.
inline constexpr const char* kHelpStartPage = "help/Introduction.htm";

// The activity log's file name, kept in the output folder found at start.
inline constexpr const char* kLogFileName = "Tallowin.log";

// The default output folder's name under the user's pictures folder.
inline constexpr const char* kDefaultOutputFolderName = "Pictavo/";

}  // namespace tallowin
