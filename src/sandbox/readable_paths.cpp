#include "readable_paths.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tallowin::sandbox {

namespace {

// Every file system right of the first Landlock version: all of them are refused
// unless a rule grants them beneath a root.
constexpr uint64_t kAllFirstVersionRights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
constexpr uint64_t kReadRights = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;

std::string Failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

bool RestrictOpensTo(const std::vector<std::string>& roots, std::string& error) {
    landlock_ruleset_attr attributes{};
    attributes.handled_access_fs = kAllFirstVersionRights;
    const int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0));
    if (ruleset < 0) {
        if (errno == ENOSYS || errno == EOPNOTSUPP) return true;
        error = Failure("landlock_create_ruleset");
        return false;
    }
    for (const std::string& root : roots) {
        const int folder = open(root.c_str(), O_PATH | O_CLOEXEC | O_DIRECTORY);
        if (folder < 0) continue;
        landlock_path_beneath_attr rule{};
        rule.allowed_access = kReadRights;
        rule.parent_fd = folder;
        const long added = syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
        close(folder);
        if (added != 0) {
            error = Failure("landlock_add_rule");
            close(ruleset);
            return false;
        }
    }
    const bool restricted = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                            syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    if (!restricted) error = Failure("landlock_restrict_self");
    close(ruleset);
    return restricted;
}

}  // namespace tallowin::sandbox
