#include "isolated_call.h"

#include <cerrno>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tallowin::wdp {

namespace {
constexpr int kChildSucceeded = 0;
constexpr int kChildFailed = 1;
}  // namespace

bool RunIsolated(const std::function<bool()>& work) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        // _exit: the child must not run the host program's exit handlers or flush its
        // stdio buffers a second time.
        bool ok = false;
        try {
            ok = work();
        } catch (...) {
            // An exception cannot cross the process boundary; the exit status carries it.
            ok = false;
        }
        ::_exit(ok ? kChildSucceeded : kChildFailed);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == kChildSucceeded;
}

}  // namespace tallowin::wdp
