#pragma once
// A thread that asks a helper for a decode waits for it, and then reads what the helper
// wrote. Left to the scheduler, the helper wakes on whichever CPU is idle (the other
// one, while the thread still runs on its own), and the thread wakes there in turn:
// the helper's working memory and the pixels it wrote are then in another CPU's cache
// whenever they are used, which measured 3 to 4% of a reduced JPEG conversion. For the
// length of one request, SharedCpu keeps the thread on the CPU it runs on and moves
// the helper there: the thread sleeps while the helper works, so they never compete.

#include <sched.h>
#include <sys/types.h>

namespace tallowin::codec::sandbox {

class SharedCpu {
public:
    // Pins the calling thread to its CPU and `helper` to the same; `helperCpu` is the
    // CPU the helper was last given (-1: none), updated. Where affinity cannot be set
    // (a CPU set larger than cpu_set_t, a system that refuses), nothing changes.
    SharedCpu(pid_t helper, int& helperCpu);
    // Gives the thread back the CPUs it could run on before. The helper stays where it
    // is: it sleeps until the next request moves it.
    ~SharedCpu();
    SharedCpu(const SharedCpu&) = delete;
    SharedCpu& operator=(const SharedCpu&) = delete;

private:
    bool pinned_ = false;
    cpu_set_t before_{};
};

}  // namespace tallowin::codec::sandbox
