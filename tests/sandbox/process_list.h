#pragma once
// Finding the decoder helpers a process has started.

#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tallowin::test {

// Children of `parent` whose command name starts with `name` (the kernel keeps 15 bytes).
inline std::vector<pid_t> ChildrenNamed(pid_t parent, const std::string& name) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pidText = entry.path().filename().string();
        if (pidText.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...
        const size_t open = line.find('(');
        const size_t close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        const std::string comm = line.substr(open + 1, close - open - 1);
        char state = 0;
        int ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) != 2) continue;
        if (ppid == parent && state != 'Z' && name.compare(0, comm.size(), comm) == 0) {
            found.push_back(static_cast<pid_t>(std::stoi(pidText)));
        }
    }
    return found;
}

}  // namespace tallowin::test
