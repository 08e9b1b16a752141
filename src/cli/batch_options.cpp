#include "batch_options.h"

#include "convert/output_names.h"
#include "path_list.h"
#include "program_name.h"
#include "tallowin_version.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <map>
#include <thread>

namespace tallowin::cli {

namespace {

constexpr const char* kVersionText = "tallowin-batch (Pictavo) " TALLOWIN_VERSION_SHORT;

// "AxB" or "A,B" as two numbers of type T.
template <typename T>
bool ParsePair(const std::string& text, char separator, T& first, T& second) {
    const size_t at = text.find(separator);
    if (at == std::string::npos) {
        return false;
    }
    try {
        size_t used = 0;
        const std::string a = text.substr(0, at);
        const std::string b = text.substr(at + 1);
        if constexpr (std::is_floating_point_v<T>) {
            first = static_cast<T>(std::stod(a, &used));
            if (used != a.size()) return false;
            second = static_cast<T>(std::stod(b, &used));
            return used == b.size();
        } else {
            first = static_cast<T>(std::stol(a, &used));
            if (used != a.size()) return false;
            second = static_cast<T>(std::stol(b, &used));
            return used == b.size();
        }
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<uint32_t> ParseColour(const std::string& text) {
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    uint32_t rgb = 0;
    if (hex.size() != 6) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), rgb, 16);
    if (error != std::errc() || end != hex.data() + hex.size()) {
        return std::nullopt;
    }
    // The stamp colour keeps red in the low byte.
    const uint32_t red = (rgb >> 16) & 0xFFu;
    const uint32_t green = (rgb >> 8) & 0xFFu;
    const uint32_t blue = rgb & 0xFFu;
    return red | (green << 8) | (blue << 16);
}

// Gives the output format its quality; false for a format that takes none.
bool SetEncoderQuality(OutputSettings& settings, int32_t quality) {
    switch (settings.nOuptputFormat) {
        case FormatJpg: settings.nCurrentJpegQuality = quality; return true;
        case FormatWebp: settings.nWebpQuality = quality; return true;
        case FormatAvif: settings.nAvifQuality = quality; return true;
        case FormatJxl: settings.nJxlQuality = quality; return true;
        default: return false;
    }
}

// Prints "tallowin-batch: <message>" and the hint to --help.
ParseOutcome UsageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nRun with --help for more information.\n", kProgramName, message.c_str());
    return ParseOutcome::BadUsage;
}

}  // namespace

ParseOutcome ParseBatchOptions(int argc, char** argv, bool interactive, BatchOptions& options) {
    CLI::App app{"Converts photos into a new folder named after the moment the run starts.\n"
                 "Prints one line per failure on standard error and the run folder as the last\n"
                 "line of standard output; a run folder that stays empty is removed. The output\n"
                 "folder is created when missing. Exit status: 0 all converted, 1 a photo was\n"
                 "not added or not converted, 2 bad usage or an unreadable --files-from list,\n"
                 "3 all converted but some only in part (a damaged source: the part that could\n"
                 "be read). With --json, standard output holds one JSON object per line: one per\n"
                 "photo in list order, then {\"run_folder\": ...} with the counts as the last line.\n"
                 "See tallowin-batch(1).",
                 kProgramName};
    app.set_version_flag("--version", kVersionText);

    app.add_option("paths", options.paths, "Photo files (and folders with --recursive)");
    app.add_flag("-r,--recursive", options.recursive, "Search folders for photos, sub-folders included");
    std::string output;
    app.add_option("-o,--output", output, "Output folder (default: the stored output folder)");

    // "jpeg" and "tiff" are the other names those formats go by.
    const std::map<std::string, int32_t> formats{{"bmp", FormatBmp}, {"jpg", FormatJpg}, {"jpeg", FormatJpg},
                                                 {"png", FormatPng}, {"tif", FormatTif}, {"tiff", FormatTif},
                                                 {"gif", FormatGif}, {"wdp", FormatWdp},
                                                 {"webp", FormatWebp}, {"avif", FormatAvif}, {"jxl", FormatJxl}};
    std::string format;
    app.add_option("-f,--format", format,
                   "Output format: bmp, jpg (jpeg, the default), png, tif (tiff), gif, wdp, webp, avif or jxl")
        ->check(CLI::IsMember({"bmp", "jpg", "jpeg", "png", "tif", "tiff", "gif", "wdp", "webp", "avif", "jxl"}));

    auto* sizeGroup = app.add_option_group("size", "Output size (default: 1024 wide, height follows)");
    bool originalSize = false;
    std::string size;
    int32_t width = 0;
    int32_t height = 0;
    std::string stretch;
    sizeGroup->add_flag("--original-size", originalSize, "Keep the source size");
    sizeGroup->add_option("--size", size, "WxH, exactly");
    auto* widthOption = sizeGroup->add_option("--width", width, "Width; the height keeps the aspect ratio");
    auto* heightOption = sizeGroup->add_option("--height", height, "Height; the width keeps the aspect ratio");
    sizeGroup->add_option("--stretch", stretch, "HxV: the source size times H and V");
    int32_t longEdge = 0;
    std::string fit;
    auto* longEdgeOption =
        sizeGroup->add_option("--long-edge", longEdge, "N pixels on the longer side, the other in proportion");
    sizeGroup->add_option("--fit", fit, "WxH: the largest size in proportion that fits in the box");
    sizeGroup->require_option(0, 1);
    bool shrinkOnly = false;
    app.add_flag("--shrink-only", shrinkOnly, "Never make a photo larger than it is (with any size option)");

    int32_t rotate = 0;
    app.add_option("--rotate", rotate, "Rotation in degrees")->check(CLI::IsMember({0, 90, 180, 270}));
    std::string flip = "none";
    app.add_option("--flip", flip, "Mirror the picture")->check(CLI::IsMember({"none", "horizontal", "vertical"}));
    int32_t bits = 24;
    auto* bitsOption =
        app.add_option("--bits", bits, "Bits per pixel of BMP output")->check(CLI::IsMember({1, 4, 8, 24}));
    int32_t quality = 0;
    auto* qualityOption = app.add_option("--quality", quality,
                                         "Quality of jpg, webp, avif or jxl output (defaults 85, 80, 60, 90; "
                                         "100 is lossless for webp and jxl)")
                              ->check(CLI::Range(1, 100));
    int32_t wdpQuality = WdpQualityOfEncoderParam(options.settings.nWdpEncoderParam);
    auto* wdpQualityOption =
        app.add_option("--wdp-quality", wdpQuality, "WDP quality")->check(CLI::Range(1, 100));

    app.add_option("--stamp", options.stamp.text, "Text drawn on every photo");
    std::string stampPos;
    app.add_option("--stamp-pos", stampPos, "X,Y of the text in pixels of the output size");
    std::string font;
    app.add_option("--font", font, "FAMILY[:PIXELS] of the text (default: the stored font)");
    std::string colour;
    app.add_option("--colour,--color", colour, "RRGGBB colour of the text (default: the stored colour)");

    std::string prefix;
    auto* renameOption = app.add_option("--rename", prefix, "Name files PREFIX.serial.date.ext");
    std::string overwrite = interactive ? "ask" : "never";
    app.add_option("--overwrite", overwrite,
                   "When an output file exists: ask, always (replace), never (keep it) or rename (keep both, the "
                   "new file named \"name (2).ext\"); default: ask on a terminal, else never")
        ->check(CLI::IsMember({"ask", "always", "never", "rename"}));
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    app.add_option("-j,--jobs", jobs, "Photos converted at once (default: one per core)")->check(CLI::Range(1, 256));
    app.add_flag("-q,--quiet", options.quiet, "No progress line");
    bool keepMetadata = false;
    bool strip = false;
    auto* keepOption = app.add_flag("--keep-metadata", keepMetadata,
                                    "Copy EXIF, XMP, IPTC and the colour profile into every output that can hold them "
                                    "(default)");
    app.add_flag("--strip", strip, "Write no photo information; pixels are converted to sRGB")->excludes(keepOption);
    app.add_flag("--remove-location", options.information.removeLocation,
                 "Leave out the GPS position of kept photo information");
    std::string filesFrom;
    auto* filesFromOption = app.add_option("--files-from", filesFrom,
                                           "Also convert the photos listed in FILE (- for standard input): one path "
                                           "a line, or NUL-separated when the list holds a NUL");
    filesFromOption->type_name("FILE|-");
    app.add_flag("--keep-tree", options.keepTree,
                 "With --recursive: write each photo into the folders it has below the searched folder");
    app.add_flag("--json", options.json,
                 "One JSON object per photo on standard output, then one naming the run folder");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        app.exit(done);
        return ParseOutcome::Done;
    } catch (const CLI::ParseError& error) {
        return UsageError(error.what());
    }

    OutputSettings& settings = options.settings;
    if (!format.empty()) {
        settings.nOuptputFormat = formats.at(format);
    }
    for (const CLI::Option* given : {widthOption, heightOption}) {
        const int32_t pixels = given == widthOption ? width : height;
        if (*given && pixels < 1) {
            return UsageError(given->get_name() + ": expected a number of pixels of at least 1, got " +
                              std::to_string(pixels));
        }
    }
    // An option of another format would be dropped without a word; refuse it instead.
    const struct {
        const CLI::Option* option;
        int32_t format;
        const char* formatName;
    } formatOptions[] = {{bitsOption, FormatBmp, "bmp"}, {wdpQualityOption, FormatWdp, "wdp"}};
    for (const auto& [option, optionFormat, formatName] : formatOptions) {
        if (*option && settings.nOuptputFormat != optionFormat) {
            return UsageError(option->get_name() + " applies to -f " + formatName + " only");
        }
    }
    if (*qualityOption && !SetEncoderQuality(settings, quality)) {
        return UsageError("--quality applies to -f jpg, webp, avif or jxl only");
    }
    if (originalSize) {
        settings.nOuputSizeType = SizeOriginal;
    } else if (!size.empty()) {
        if (!ParsePair(size, 'x', settings.nOutputWidth, settings.nOutputHeight) || settings.nOutputWidth < 1 ||
            settings.nOutputHeight < 1) {
            return UsageError("--size: expected WxH with positive numbers, got \"" + size + "\"");
        }
        settings.nOuputSizeType = SizeCustom;
        settings.nKeepAspectRatio = 0;
    } else if (width > 0) {
        settings.nOuputSizeType = SizeCustom;
        settings.nKeepAspectRatio = 1;
        settings.nOutputWidth = width;
    } else if (height > 0) {
        settings.nOuputSizeType = SizeCustom;
        settings.nKeepAspectRatio = 2;
        settings.nOutputHeight = height;
    } else if (*longEdgeOption) {
        if (longEdge < 1) {
            return UsageError("--long-edge: expected a number of pixels of at least 1, got " +
                              std::to_string(longEdge));
        }
        settings.nOuputSizeType = SizeLongEdge;
        settings.nLongEdge = longEdge;
    } else if (!fit.empty()) {
        if (!ParsePair(fit, 'x', settings.nBoxWidth, settings.nBoxHeight) || settings.nBoxWidth < 1 ||
            settings.nBoxHeight < 1) {
            return UsageError("--fit: expected WxH with positive numbers, got \"" + fit + "\"");
        }
        settings.nOuputSizeType = SizeFitBox;
    } else if (!stretch.empty()) {
        if (!ParsePair(stretch, 'x', settings.dHorizontalStretch, settings.dVerticalStretch) ||
            !(settings.dHorizontalStretch > 0) || !(settings.dVerticalStretch > 0)) {
            return UsageError("--stretch: expected HxV with positive factors, got \"" + stretch + "\"");
        }
        settings.nOuputSizeType = SizeStretch;
    }
    settings.nShrinkOnly = shrinkOnly ? 1 : 0;
    settings.nRotateAngel = rotate;
    settings.nFlipType = flip == "horizontal" ? 1 : flip == "vertical" ? 2 : 0;
    settings.iComboPixelFormat = bits == 1 ? 0 : bits == 4 ? 1 : bits == 8 ? 2 : kDefaultPixelFormatIndex;
    settings.nWdpEncoderParam = WdpEncoderParamOfQuality(wdpQuality);

    if (!stampPos.empty() && !ParsePair(stampPos, ',', options.stamp.x, options.stamp.y)) {
        return UsageError("--stamp-pos: expected X,Y, got \"" + stampPos + "\"");
    }
    if (!font.empty()) {
        const size_t colon = font.rfind(':');
        options.stamp.family = font.substr(0, colon);
        if (colon != std::string::npos) {
            int32_t pixels = 0;
            const std::string digits = font.substr(colon + 1);
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pixels);
            if (error != std::errc() || end != digits.data() + digits.size() || pixels < 1) {
                return UsageError("--font: expected FAMILY[:PIXELS], got \"" + font + "\"");
            }
            options.stamp.pixels = pixels;
        }
    }
    if (!colour.empty()) {
        options.stamp.colour = ParseColour(colour);
        if (!options.stamp.colour) {
            return UsageError("--colour: expected RRGGBB, got \"" + colour + "\"");
        }
    }
    if (*renameOption) {
        if (const std::string problem = RenamePrefixProblem(prefix); !problem.empty()) {
            return UsageError("--rename: " + problem);
        }
        options.renamePrefix = prefix;
    }
    if (!output.empty()) {
        options.outputFolder = output;
    }
    options.overwrite = overwrite == "always"   ? OverwritePolicy::Always
                        : overwrite == "ask"    ? OverwritePolicy::Ask
                        : overwrite == "rename" ? OverwritePolicy::Rename
                                                : OverwritePolicy::Never;
    options.jobs = jobs;
    options.information.keepMetadata = !strip;
    if (*filesFromOption) {
        // The answers of --overwrite ask come from standard input too.
        if (filesFrom == "-" && options.overwrite == OverwritePolicy::Ask) {
            if (app.get_option("--overwrite")->count() != 0) {
                return UsageError("--overwrite ask reads the answers from standard input, which --files-from - "
                                  "reads the list from; choose another --overwrite or a list file");
            }
            options.overwrite = OverwritePolicy::Never;
        }
        if (std::string error; !ReadPathList(filesFrom, options.paths, error)) {
            std::fprintf(stderr, "%s: --files-from %s\n", kProgramName, error.c_str());
            return ParseOutcome::BadUsage;
        }
    } else if (options.paths.empty()) {
        return UsageError("paths is required (or --files-from)");
    }
    return ParseOutcome::Run;
}

}  // namespace tallowin::cli
