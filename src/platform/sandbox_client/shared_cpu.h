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

#include <array>
#include <atomic>

namespace tallowin::codec::sandbox {

// The CPUs a thread and its helper hold. One pair at a time on a CPU: two helpers
// held on one CPU would take turns there while another CPU sat idle.
class CpuClaims {
public:
    // The CPUs of the thread that makes it are those a helper not held anywhere may use.
    CpuClaims() {
        if (sched_getaffinity(0, sizeof allowed_, &allowed_) != 0) CPU_ZERO(&allowed_);
    }
    const cpu_set_t& Allowed() const { return allowed_; }
    bool Claim(int cpu) { return !claimed_[static_cast<size_t>(cpu)].exchange(true, std::memory_order_acquire); }
    void Free(int cpu) { claimed_[static_cast<size_t>(cpu)].store(false, std::memory_order_release); }

private:
    std::array<std::atomic<bool>, CPU_SETSIZE> claimed_{};
    cpu_set_t allowed_;
};

class SharedCpu {
public:
    // Pins the calling thread to its CPU and `helper` to the same, when no other pair
    // holds that CPU; else lets `helper` run on any CPU it was allowed. `helperCpu` is
    // the CPU the helper is held on (-1: none), updated. Where affinity cannot be set
    // (a CPU set larger than cpu_set_t, a system that refuses), nothing changes.
    SharedCpu(CpuClaims& claims, pid_t helper, int& helperCpu);
    // Gives the thread back the CPUs it could run on before. The helper stays where it
    // is: it sleeps until the next request moves it.
    ~SharedCpu();
    SharedCpu(const SharedCpu&) = delete;
    SharedCpu& operator=(const SharedCpu&) = delete;

private:
    CpuClaims& claims_;
    int cpu_ = -1;  // claimed
    bool pinned_ = false;
    cpu_set_t before_{};
};

}  // namespace tallowin::codec::sandbox
