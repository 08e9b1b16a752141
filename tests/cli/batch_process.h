#pragma once
// tallowin-batch run as a child process from a test world: its exit status, its
// standard output and error, and small helpers to read what it wrote.

#include "test_world.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace tallowin::test {

struct BatchResult {
    int status = -1;
    std::string out;
    std::string err;

    // The run folder: the last line of standard output (empty when none was printed).
    std::filesystem::path RunFolder() const {
        std::string text = out;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        const size_t newline = text.rfind('\n');
        return newline == std::string::npos ? std::filesystem::path(text)
                                            : std::filesystem::path(text.substr(newline + 1));
    }
    // Lines of standard error.
    std::vector<std::string> ErrorLines() const {
        std::vector<std::string> lines;
        std::istringstream stream(err);
        for (std::string line; std::getline(stream, line);) lines.push_back(line);
        return lines;
    }
};

inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

// Names of the entries directly in `folder` (hidden ones too), sorted.
inline std::vector<std::string> EntriesOf(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Runs tallowin-batch with `arguments` (already quoted) through bash, standard input
// from `input` (default: empty). `prefix` runs first in the same shell (a ulimit, an
// environment change: "env -u X" must then end with the tool, so it is given whole).
inline BatchResult RunBatchTool(const std::filesystem::path& scratch, const std::string& arguments,
                                const std::string& prefix = {}, const std::string& input = "/dev/null") {
    const std::filesystem::path out = scratch / "batch-stdout.txt";
    const std::filesystem::path err = scratch / "batch-stderr.txt";
    const std::string command = prefix + " " + ShellQuote((BinDir() / "tallowin-batch").string()) + " " + arguments +
                                " <" + ShellQuote(input) + " >" + ShellQuote(out.string()) + " 2>" +
                                ShellQuote(err.string());
    const int raw = std::system(("bash -c " + ShellQuote(command)).c_str());
    BatchResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

}  // namespace tallowin::test
