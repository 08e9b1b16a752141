#include "output_names.h"

#include "output_settings.h"
#include "paths.h"

#include <cstdio>

namespace tallowin {

namespace {

std::string LocalTimeText(std::time_t when, const char* format) {
    std::tm parts{};
    localtime_r(&when, &parts);
    char text[64];
    const size_t length = std::strftime(text, sizeof text, format, &parts);
    return std::string(text, length);
}

}  // namespace

std::string OutputExtension(int32_t format) { return FormatExtension(format); }

std::string RunFolderName(const std::string& outputFolder, std::time_t when) {
    std::string folder = outputFolder + LocalTimeText(when, "%Y.%m.%d.%H.%M.%S");
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

int SerialWidth(size_t count) {
    int digits = 1;
    for (size_t rest = count / 10; rest != 0; rest /= 10) {
        ++digits;
    }
    return digits;
}

std::string RenamePrefixProblem(const std::string& prefix) {
    if (prefix.find('/') != std::string::npos) {
        return "The rename prefix \"" + prefix +
               "\" contains \"/\": the photos would be written outside the run folder. "
               "Use a prefix without \"/\".";
    }
    if (prefix.find('\0') != std::string::npos) {
        return "The rename prefix contains a zero character. Use a prefix without it.";
    }
    if (prefix == "." || prefix == "..") {
        return "The rename prefix \"" + prefix + "\" names a folder. Use another prefix.";
    }
    return {};
}

std::string OutputPathFor(const NamingRule& rule, const PhotoRecord& photo, size_t index, size_t count,
                          const std::string& extension) {
    if (rule.notRename) {
        return rule.runFolder + FileTitleOf(photo.sourcePath) + "." + extension;
    }
    char serial[32];
    std::snprintf(serial, sizeof serial, "%0*zu", SerialWidth(count), index + 1);
    const std::string date = LocalTimeText(static_cast<std::time_t>(photo.modificationTime), "%Y.%m.%d");
    return rule.runFolder + rule.prefix + "." + serial + "." + date + "." + extension;
}

}  // namespace tallowin
