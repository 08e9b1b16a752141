#include "shared_cpu.h"

namespace tallowin::codec::sandbox {

SharedCpu::SharedCpu(CpuClaims& claims, pid_t helper, int& helperCpu) : claims_(claims) {
    if (sched_getaffinity(0, sizeof before_, &before_) != 0) return;
    const int cpu = sched_getcpu();
    if (cpu < 0 || cpu >= CPU_SETSIZE || !claims_.Claim(cpu)) {
        const cpu_set_t& allowed = claims_.Allowed();
        if (helperCpu != -1 && CPU_COUNT(&allowed) > 0 && sched_setaffinity(helper, sizeof allowed, &allowed) == 0) {
            helperCpu = -1;
        }
        return;
    }
    cpu_ = cpu;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (CPU_COUNT(&before_) > 1) pinned_ = sched_setaffinity(0, sizeof one, &one) == 0;
    if (cpu != helperCpu) helperCpu = sched_setaffinity(helper, sizeof one, &one) == 0 ? cpu : -1;
}

SharedCpu::~SharedCpu() {
    if (pinned_) sched_setaffinity(0, sizeof before_, &before_);
    if (cpu_ >= 0) claims_.Free(cpu_);
}

}  // namespace tallowin::codec::sandbox
