#include "shared_cpu.h"

namespace tallowin::codec::sandbox {

SharedCpu::SharedCpu(pid_t helper, int& helperCpu) {
    const int cpu = sched_getcpu();
    if (cpu < 0 || cpu >= CPU_SETSIZE || sched_getaffinity(0, sizeof before_, &before_) != 0) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (CPU_COUNT(&before_) > 1) {
        if (sched_setaffinity(0, sizeof one, &one) != 0) return;
        pinned_ = true;
    }
    if (cpu != helperCpu) helperCpu = sched_setaffinity(helper, sizeof one, &one) == 0 ? cpu : -1;
}

SharedCpu::~SharedCpu() {
    if (pinned_) sched_setaffinity(0, sizeof before_, &before_);
}

}  // namespace tallowin::codec::sandbox
