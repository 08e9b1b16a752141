#pragma once
// What the tests of tallowin-batch run as a process share.

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

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
