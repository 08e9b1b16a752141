#pragma once
// The --json report of tallowin-batch: one JSON object per photo on one line, written
// in list order (the order the photos were named or found in, files that could not be
// added included) however many photos convert at once, and a last line naming the run
// folder with the counts.
//
// Strings are always valid UTF-8: a byte that is no part of a UTF-8 character becomes
// U+FFFD. So that a path that is no UTF-8 still leads back to its file, such a path
// also goes out exactly, as base64 of its bytes, in a field named after it with
// "_bytes" added ("source_bytes", "output_bytes", "run_folder_bytes"); the field is
// present only then.

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallowin::cli {

// `text` as a JSON string, quotes included: '"', '\\' and control characters escaped
// (\n, \t ... or \u00XX), U+2028 and U+2029 escaped for readers that take JSON for
// JavaScript, and every byte that does not belong to a well-formed UTF-8 character
// (stray continuation bytes, overlong forms, surrogates, beyond U+10FFFF, cut short)
// written as \ufffd.
std::string JsonString(std::string_view text);

// Whether `text` is well-formed UTF-8 throughout.
bool IsUtf8(std::string_view text);

// Standard base64 (with '=' padding) of `bytes`.
std::string Base64(std::string_view bytes);

// What became of one photo, or of a file that could not be added.
struct PhotoResult {
    std::string source;  // the path as named or found
    std::optional<std::string> output;  // the output path, once the photo had one
    std::string outcome;  // "converted", "converted in part", "failed", "skipped", "not added"
    std::string reason;  // empty when converted
    double seconds = 0;  // spent adding (not added) or converting it
};

// One line of the report: {"source":…,"output":…,"outcome":…,"reason":…,"time":…,
// "finished":…}, "output" null when there is none, "time" in seconds, "finished" the
// moment the line was made as UTC ISO 8601 with milliseconds.
std::string PhotoResultLine(const PhotoResult& result);

// Collects the lines by their place in the list and prints each as soon as every line
// before it is printed. Safe for several threads at once.
class ResultLines {
public:
    explicit ResultLines(std::FILE* out) : out_(out) {}

    // The next place in the list.
    size_t Reserve();
    // The line of place `slot`; printed now or once the lines before it are.
    void Fill(size_t slot, const PhotoResult& result);
    // Whether place `slot` has its line.
    bool Filled(size_t slot) const;
    // The last line, after every place is filled: {"run_folder":…,"converted":n,
    // "converted_in_part":n,"failed":n,"skipped":n,"not_added":n}; run_folder null when
    // the run left no folder.
    void Finish(const std::optional<std::string>& runFolder);

private:
    void PrintReadyLocked();

    std::FILE* out_;
    mutable std::mutex mutex_;
    std::vector<std::optional<std::string>> lines_;
    size_t printed_ = 0;
    size_t converted_ = 0;
    size_t inPart_ = 0;
    size_t failed_ = 0;
    size_t skipped_ = 0;
    size_t notAdded_ = 0;
};

}  // namespace tallowin::cli
