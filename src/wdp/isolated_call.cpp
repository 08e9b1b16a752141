#include "isolated_call.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tallowin::wdp {

namespace {

constexpr int kChildSucceeded = 0;
constexpr int kChildFailed = 1;
// Polling starts fast, so small pictures return at once, and backs off for big ones.
constexpr std::chrono::milliseconds kFirstPoll{1};
constexpr std::chrono::milliseconds kLongestPoll{50};

enum class WaitOutcome { Exited, StillRunning, Lost };

WaitOutcome TryReap(pid_t child, int& status) {
    for (;;) {
        const pid_t reaped = ::waitpid(child, &status, WNOHANG);
        if (reaped == child) return WaitOutcome::Exited;
        if (reaped == 0) return WaitOutcome::StillRunning;
        if (errno != EINTR) return WaitOutcome::Lost;
    }
}

void KillAndReap(pid_t child) {
    ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// libjxr prints assertion and error text on the standard streams; what the child says
// is of no use to the program's user, whose own output it would mix into.
void SilenceOutput() {
    // Without /dev/null the streams stay as they are: closing them would hand their
    // numbers to the next file the work opens.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) return;
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    if (null != STDOUT_FILENO && null != STDERR_FILENO) ::close(null);
}

}  // namespace

bool RunIsolated(const std::function<bool()>& work, std::chrono::milliseconds limit) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        SilenceOutput();
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

    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::chrono::milliseconds pause = kFirstPoll;
    int status = 0;
    for (;;) {
        switch (TryReap(child, status)) {
            case WaitOutcome::Exited:
                return WIFEXITED(status) && WEXITSTATUS(status) == kChildSucceeded;
            case WaitOutcome::Lost:
                return false;
            case WaitOutcome::StillRunning:
                break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            KillAndReap(child);
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, kLongestPoll);
    }
}

}  // namespace tallowin::wdp
