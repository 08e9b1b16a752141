#pragma once
// What the tests of tallowin-batch run as a process share.

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tallowin::test {

// Standard output of a shell command.
inline std::string Capture(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    if (pipe == nullptr) return text;
    std::array<char, 4096> buffer{};
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) text.append(buffer.data(), got);
    pclose(pipe);
    return text;
}

// `text` in single quotes for the shell, quotes inside it included.
inline std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What ImageMagick's identify says of a file in `format`; empty when it cannot read it.
inline std::string Identify(const std::filesystem::path& file, const std::string& format = "%m %w %h")
{
    return Capture("identify -format " + ShellQuoted(format) + " " + ShellQuoted(file.string()) + " 2>/dev/null");
}

// The names of the files in `folder`, sorted.
inline std::vector<std::string> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// How one run of the tool ended.
struct Result {
    int status = -1;
    std::string out;
    std::string err;
    // The run folder: the last line of standard output.
    std::filesystem::path RunFolder() const
    {
        std::string text = out;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        const size_t newline = text.rfind('\n');
        return newline == std::string::npos ? std::filesystem::path(text)
                                            : std::filesystem::path(text.substr(newline + 1));
    }
};

}  // namespace tallowin::test
